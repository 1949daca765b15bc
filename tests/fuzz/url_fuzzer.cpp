// Fuzz entry point for the URL splitter and combiner, and for TCrackUrl and the local path it
// derives. The input is a base URL and a reference separated by the first line feed (without
// one, the whole input is both). Buffers are heap blocks of exactly the declared size, so the
// sanitizers catch any write past them; the checks below abort on a broken promise.
#include "platform/url.h"
#include "sifton/crkurl.h"
#include "sifton/tools.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void splitWithBuffers(std::string_view url, uint32_t declared, bool decode)
{
    std::unique_ptr<char[]> buffers[6];
    for (auto &buffer : buffers)
        buffer = std::make_unique<char[]>(declared == 0 ? 1 : declared);
    platform::URL_COMPONENTSA c;
    c.dwStructSize = platform::URL_COMPONENTS_RECORD_SIZE;
    char **pointers[6] = {&c.lpszScheme, &c.lpszHostName, &c.lpszUserName,
                          &c.lpszPassword, &c.lpszUrlPath, &c.lpszExtraInfo};
    uint32_t *lengths[6] = {&c.dwSchemeLength, &c.dwHostNameLength, &c.dwUserNameLength,
                            &c.dwPasswordLength, &c.dwUrlPathLength, &c.dwExtraInfoLength};
    for (int i = 0; i < 6; ++i) {
        *pointers[i] = buffers[i].get();
        *lengths[i] = declared;
    }
    const bool ok = platform::SplitUrl(url, c, decode);
    for (int i = 0; i < 6; ++i) {
        const uint32_t length = *lengths[i];
        if (!ok) {
            check(length == 0);
            check(declared == 0 || buffers[i][0] == '\0');
            continue;
        }
        check(length < declared);
        check(length <= platform::MAX_URL_COMPONENT_LENGTH);
        check(buffers[i][length] == '\0');
        for (uint32_t k = 0; k < length; ++k) {
            const auto b = static_cast<unsigned char>(buffers[i][k]);
            check(b >= 0x20 && b != 0x7F);
        }
    }
    if (!ok)
        return;
    const std::string_view path(c.lpszUrlPath, c.dwUrlPathLength);
    const std::string_view extra(c.lpszExtraInfo, c.dwExtraInfoLength);
    if (!decode) {
        // Undecoded components are pieces of the input.
        check(path.find_first_of("?#") == std::string_view::npos);
        check(url.find(path) != std::string_view::npos);
        check(url.find(extra) != std::string_view::npos);
    }
    check(extra.empty() || extra[0] == '?' || extra[0] == '#');
    check(c.dwSchemeLength > 0);
}

void combine(std::string_view base, std::string_view reference)
{
    constexpr size_t kSize = 1024;
    auto result = std::make_unique<char[]>(kSize);
    size_t length = 0;
    if (!platform::CombineUrl(base, reference, result.get(), kSize, length)) {
        check(length == 0 && result[0] == '\0');
        return;
    }
    check(length <= platform::MAX_URL_COMPONENT_LENGTH);
    check(result[length] == '\0');
    check(std::memchr(result.get(), '\0', length) == nullptr);

    // Resolving an empty reference against the result gives the result without its fragment.
    const std::string target(result.get(), length);
    auto again = std::make_unique<char[]>(kSize);
    size_t againLength = 0;
    if (platform::CombineUrl(target, "", again.get(), kSize, againLength)) {
        const size_t hash = target.find('#');
        check(std::string_view(again.get(), againLength) == std::string_view(target).substr(0, hash));
    }
}

void crack(std::string_view url)
{
    static TCrackUrl record; // re-used across inputs, as the crawler does
    const std::string root = "/r";
    const bool ok = record.CrackUrl(url, root);
    check(ok == record.Cracked);
    check(record.Url() == url);
    check(!record.UrlPath.empty());
    // The local path stays under the root: no segment climbs out.
    const std::string &local = record.LocalFilePath;
    check(local.rfind("/r/", 0) == 0);
    size_t start = 3;
    while (start <= local.size()) {
        const size_t slash = local.find('/', start);
        const std::string_view segment =
            std::string_view(local).substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        check(segment != "..");
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    const std::string sub = CreateSubFilePathFromUrl(url);
    check(sub != ".." && sub.rfind("../", 0) != 0 && sub.find("/../") == std::string::npos);

    TCrackUrl copy;
    copy.CopyTCrackedUrl(record);
    check(copy.Url() == record.Url());
    check(copy.HostName() == record.HostName());
    check(copy.PathWithFile() == record.PathWithFile());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t newline = input.find('\n');
    const std::string_view base = newline == std::string_view::npos ? input : input.substr(0, newline);
    const std::string_view reference = newline == std::string_view::npos ? input : input.substr(newline + 1);

    splitWithBuffers(input, 1024, true);
    splitWithBuffers(base, 1024, false);
    // Small declared sizes from the input's length, to test the buffer bounds.
    splitWithBuffers(reference, static_cast<uint32_t>(size % 24), true);
    combine(base, reference);
    crack(base);
    return 0;
}
