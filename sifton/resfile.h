#pragma once
// The crawler's results file: a log of found links, one line per link, each ended by CR LF.
//
// Every line goes to the file with its own checked write() as soon as it is made, so a crash
// of the program loses nothing already written (the kernel holds it), and a short or failed
// write (a full disk) is reported by an exception instead of being hidden. Close() flushes the
// file to the disk. The file is created or truncated by Open, as a new crawl starts it afresh:
// it is a log, not a store, so it is appended to rather than replaced as a whole.

#include <string>
#include <string_view>

class TResultsFile {
public:
    TResultsFile() = default;
    ~TResultsFile();
    TResultsFile(const TResultsFile &) = delete;
    TResultsFile &operator=(const TResultsFile &) = delete;

    // Creates or truncates `path` for writing (mode 0644). False, with errno kept in
    // ErrorNumber(), when it cannot be created; the "Download" folder is not made here.
    [[nodiscard]] bool Open(const std::string &path);
    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
    // Writes `line` followed by CR LF. Throws std::system_error when the file is not open or
    // a write fails; a line cut short by a full disk counts as failed.
    void WriteLine(std::string_view line);
    // fsync and close; false when either failed. Closing a closed file does nothing.
    bool Close();
    [[nodiscard]] int ErrorNumber() const { return errno_; }
    [[nodiscard]] const std::string &Path() const { return path_; }

private:
    int fd_ = -1;
    int errno_ = 0;
    std::string path_;
    std::string line_; // re-used buffer for line + CR LF, so each line is one write
};
