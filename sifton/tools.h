#pragma once
// Small text, path and utility functions of the crawler library.
//
// Local paths use "/" as the directory separator: where the crawler's rules speak of a
// backslash in a local path, this code uses "/". Texts are byte strings; positions are
// 1-based character positions, 0 meaning "not found".

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// ---- URL, path and character helpers -------------------------------------------------------

// Position of the last occurrence of `c` in `text`; 0 when the text is empty or lacks it.
[[nodiscard]] int LastChar(char c, std::string_view text);

// Replaces every `from` in `text` by `to`, in place.
void ReplaceCharInString(char from, char to, std::string &text);

// Replaces every character of `text` that occurs in `set` by `replacement`, in place.
void ReplaceCharsInString(std::string &text, std::string_view set, char replacement);

// True when the file system reports the path as a directory (symbolic links are followed).
[[nodiscard]] bool IsDirectory(const std::string &path);

// Local file path of a URL under `root`: `hostAndPath` is the host name followed by the
// normalised URL path. A text without "/" or ending in "/" names a folder and gets
// "index.html". "." segments are dropped and ".." removes the segment before it, but never the
// host folder, so the result always lies inside root/host (a host that is "." or ".." is
// written with "_" for each dot). `root` is expected to be non-empty.
[[nodiscard]] std::string CreatePathFromUrl(std::string_view root, std::string_view hostAndPath);

// The same into `result`, re-using its storage: allocates only when `result` lacks capacity.
void AssignPathFromUrl(std::string &result, std::string_view root, std::string_view hostAndPath);

// Relative file path of a URL: the text after the first "//" up to any "?" or "#", with each
// of "|=*:;,<>" replaced by "$", and dot segments treated as in CreatePathFromUrl so the path
// never climbs out of its host folder. Empty when the URL holds no "//".
[[nodiscard]] std::string CreateSubFilePathFromUrl(std::string_view url);

// Creates the folders of a file path (levels that exist are left alone, creation errors are
// ignored) and returns its folder without the trailing "/". A path with no "/", or whose only
// "/" is its first character, has no folder part: nothing is created and the result is empty.
std::string CreateandReturnTreeFromFilePath(const std::string &filePath);

// A results-file name from the current local date and time: "2001-05-31_14.22.05.txt".
[[nodiscard]] std::string CreateFileNameFromNow();

// The same name for a given local time.
[[nodiscard]] std::string CreateFileNameFromTime(const std::tm &localTime);

// ---- end of URL, path and character helpers ------------------------------------------------

// ---- Numbers, file sizes and starting programs ------------------------------------------

// The decimal value of `text` when it is non-empty and made of the digits 0 to 9 only;
// `defaultValue` for anything else (a sign, a blank, any other character, the empty text).
// A digit text whose value does not fit a signed 32-bit integer throws std::out_of_range.
[[nodiscard]] int32_t KvStrToInt(std::string_view text, int32_t defaultValue);

// The size in bytes of the regular file at `path`, opened read-only; -1 when it cannot be
// opened or is not a regular file (a folder, a device, a pipe) or the path holds a NUL. 64-bit, so a 3 GB file gives
// 3221225472.
[[nodiscard]] int64_t SizeOfFile(const std::string& path);

// Starts a process from `commandLine`: the program is the first word (a name without a "/" is
// looked up in PATH), double quotes group words. The process is detached (its own session,
// never waited for), gets the caller's current folder and environment, standard input from
// /dev/null, and inherits no descriptor of the caller beyond standard output and error.
// Returns whether the program was executed. `windowTitle` has no counterpart for a Linux
// process and is not used.
[[nodiscard]] bool Run2Exe(std::string_view commandLine, std::string_view windowTitle);

// Starts `programFile` with no arguments, detached as Run2Exe does, at idle priority (nice
// 19), and lets it run. Returns whether the program was executed. `windowTitle` is not used.
[[nodiscard]] bool RunExe(std::string_view programFile, std::string_view windowTitle);

// Records the number of simultaneous connections to one server that the system's HTTP
// settings allow: "MaxConnectionsPerServer" = count and "MaxConnectionsPer1_0Server" =
// count + 2 in the current user's "Internet Settings" key (a count of -1 means 2). The key is
// created when missing; nothing is reported when it cannot be opened or written.
void SetConcDwnlds(int32_t count);

// ---- end of numbers, file sizes and starting programs -----------------------------------
