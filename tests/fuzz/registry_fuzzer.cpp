// Fuzz entry point for the registry hive reader. Any input either fails with a line number
// and a reason, or parses to a hive that is written and read back to the same hive and the
// same bytes: a hive we rewrite never changes what it holds.
#include "platform/regfile.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace platform::regfile;
    const QByteArrayView text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringView root = u"HKEY_CURRENT_USER";

    Hive hive;
    ParseError error;
    if (!parse(text, root, hive, error)) {
        if (error.line < 1 || error.reason.isEmpty()) {
            std::fprintf(stderr, "parse error without line or reason\n");
            std::abort();
        }
        return 0;
    }
    const QByteArray written = serialize(hive, root);
    Hive again;
    if (!parse(written, root, again, error)) {
        std::fprintf(stderr, "own output rejected at line %d: %s\n%s\n", error.line, qPrintable(error.reason), written.constData());
        std::abort();
    }
    if (!(again == hive) || serialize(again, root) != written) {
        std::fprintf(stderr, "round trip changed the hive:\n%s\n", written.constData());
        std::abort();
    }
    for (const auto &[folded, key] : hive.keys()) {
        if (hive.findKey(key.path) != &hive.keys().at(folded))
            std::abort();
        (void)hive.subKeyNames(key.path);
        for (const Value &value : key.values) {
            if (key.findValue(value.name) != &value)
                std::abort(); // the first value of a name is the one found
        }
    }
    return 0;
}
