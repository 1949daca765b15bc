#pragma once
// General-purpose helpers of the crawler library.

#include <cstdint>
#include <string>
#include <string_view>

namespace sifton {

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

// ---- end of numbers, file sizes and starting programs -----------------------------------

} // namespace sifton
