// Runs a fuzz entry point over every file in the folders (or files) named on the command
// line, so that the seeds and every crash input found so far stay regression tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool runFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    size_t count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const auto &entry : fs::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    ok = runFile(entry.path()) && ok;
                    ++count;
                }
            }
        } else if (fs::exists(arg)) {
            ok = runFile(arg) && ok;
            ++count;
        } else {
            std::fprintf(stderr, "replay: %s does not exist\n", argv[i]);
            ok = false;
        }
    }
    // Also run the empty input, which every parser must take.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("replay: %zu inputs run\n", count + 1);
    return ok ? 0 : 1;
}
