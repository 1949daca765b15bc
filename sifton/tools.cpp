#include "sifton/tools.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

// ---- URL, path and character helpers -------------------------------------------------------

namespace {

// Appends the segments of `path` (separated by "/") to `out`, which already ends where the
// first segment belongs. "." segments are dropped; ".." removes the last segment written after
// the first one, so nothing climbs above the first segment (the host). A first segment that is
// "." or ".." would itself name the root or its parent, so its dots are written as "_".
void appendConfinedSegments(std::string &out, std::string_view path)
{
    size_t floor = std::string::npos; // end of the first segment and its "/" in `out`
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        const bool last = slash == std::string_view::npos;
        const std::string_view segment = path.substr(start, last ? std::string_view::npos : slash - start);
        if (floor == std::string::npos) {
            if (segment == "." || segment == "..")
                out.append(segment.size(), '_');
            else
                out.append(segment);
            if (!last)
                out.push_back('/');
            floor = out.size();
        } else if (segment == ".") {
            // nothing: "a/./b" is "a/b"
        } else if (segment == "..") {
            if (out.size() > floor) {
                out.pop_back(); // the "/" after the segment being removed
                while (out.size() > floor && out.back() != '/')
                    out.pop_back();
            }
        } else {
            out.append(segment);
            if (!last)
                out.push_back('/');
        }
        if (last)
            break;
        start = slash + 1;
    }
}

} // namespace

int LastChar(char c, std::string_view text)
{
    const size_t pos = text.rfind(c);
    return pos == std::string_view::npos ? 0 : static_cast<int>(pos + 1);
}

void ReplaceCharInString(char from, char to, std::string &text)
{
    for (char &c : text) {
        if (c == from)
            c = to;
    }
}

void ReplaceCharsInString(std::string &text, std::string_view set, char replacement)
{
    for (char &c : text) {
        if (set.find(c) != std::string_view::npos)
            c = replacement;
    }
}

bool IsDirectory(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void AssignPathFromUrl(std::string &result, std::string_view root, std::string_view hostAndPath)
{
    result.assign(root);
    if (result.empty() || result.back() != '/')
        result.push_back('/');
    appendConfinedSegments(result, hostAndPath);
    if (hostAndPath.find('/') == std::string_view::npos)
        result.append("/index.html");
    else if (result.back() == '/')
        result.append("index.html");
}

std::string CreatePathFromUrl(std::string_view root, std::string_view hostAndPath)
{
    std::string result;
    AssignPathFromUrl(result, root, hostAndPath);
    return result;
}

std::string CreateSubFilePathFromUrl(std::string_view url)
{
    const size_t slashes = url.find("//");
    if (slashes == std::string_view::npos)
        return {};
    std::string_view rest = url.substr(slashes + 2);
    rest = rest.substr(0, rest.find('?'));
    rest = rest.substr(0, rest.find('#'));
    std::string result;
    appendConfinedSegments(result, rest);
    ReplaceCharsInString(result, "|=*:;,<>", '$');
    return result;
}

std::string CreateandReturnTreeFromFilePath(const std::string &filePath)
{
    const size_t k = filePath.rfind('/');
    if (k == std::string::npos || k == 0)
        return {};
    const std::string directory = filePath.substr(0, k + 1);
    if (!IsDirectory(directory)) {
        for (size_t slash = filePath.find('/'); slash != std::string::npos && slash <= k;
             slash = filePath.find('/', slash + 1)) {
            if (slash == 0)
                continue; // the file-system root
            // Errors (a level that exists, no permission) are not reported: the caller finds
            // out when it writes the file.
            ::mkdir(filePath.substr(0, slash).c_str(), 0777);
        }
    }
    return filePath.substr(0, k);
}

std::string CreateFileNameFromTime(const std::tm &localTime)
{
    char name[64];
    const size_t length = std::strftime(name, sizeof name, "%Y-%m-%d_%H.%M.%S.txt", &localTime);
    return std::string(name, length);
}

std::string CreateFileNameFromNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CreateFileNameFromTime(local);
}

// ---- end of URL, path and character helpers ------------------------------------------------
