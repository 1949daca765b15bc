// Fuzz entry point for the INI reader. Any input is read without loss (serialize gives the
// bytes back), and a write of one key changes that key only: every other lookup gives what
// it gave before.
#include "platform/inifile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using platform::IniDocument;

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "inifile fuzzer: %s\n", what);
        std::abort();
    }
}

void checkWriteChangesOnlyItsKey(const IniDocument &before, const QString &section, const QString &key, const QString &value)
{
    if (!IniDocument::checkWritable(section, key, value).isEmpty())
        return;
    IniDocument changed = before;
    changed.setValue(section, key, value);
    const IniDocument reread = IniDocument::parse(changed.serialize());
    require(reread.value(section, key) == value, "a written value does not read back");
    for (const QString &s : before.sections()) {
        for (const QString &k : before.keys(s)) {
            if (s.trimmed().compare(section.trimmed(), Qt::CaseInsensitive) == 0
                && k.trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0)
                continue;
            require(reread.value(s, k) == before.value(s, k), "a write changed another key");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const IniDocument doc = IniDocument::parse(text);
    require(doc.serialize() == text, "reading and writing back changed the bytes");

    const QStringList sections = doc.sections();
    for (const QString &section : sections) {
        for (const QString &key : doc.keys(section)) {
            require(doc.value(section, key).has_value(), "a listed key has no value");
            (void)platform::ParseIniInteger(*doc.value(section, key));
        }
    }
    const QString someSection = sections.isEmpty() ? QStringLiteral("Fuzz") : sections.front();
    checkWriteChangesOnlyItsKey(doc, someSection, QStringLiteral("FuzzKey"), QStringLiteral(" spaced \"value\" "));
    if (!sections.isEmpty() && !doc.keys(someSection).isEmpty())
        checkWriteChangesOnlyItsKey(doc, someSection, doc.keys(someSection).front(), QStringLiteral("'replaced'"));
    checkWriteChangesOnlyItsKey(doc, QStringLiteral("New Section"), QStringLiteral("k"), QString());

    IniDocument erased = doc;
    if (!sections.isEmpty()) {
        erased.eraseSection(sections.back());
        require(!IniDocument::parse(erased.serialize()).hasSection(sections.back()), "an erased section is still there");
    }
    return 0;
}
