#pragma once
// INI files with the behaviour of the VCL's TIniFile (the Windows profile functions):
// section and key names are case-insensitive and trimmed, lines starting with ";" are
// comments, values are trimmed and lose one pair of enclosing quotes, the first section and
// the first key of a name win. Every call reads the file afresh. Every write locks
// file + ".lock", reads the file again, changes only the lines it must (comments, order and
// line endings stay) and replaces the file atomically.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

namespace platform {

// Raised when an existing file cannot be read, a write fails, or a name or value cannot be
// stored (a line break, a NUL character, "=" in a key name, "]" in a section name).
class IniFileError : public std::runtime_error {
public:
    explicit IniFileError(const QString &message);
    [[nodiscard]] QString message() const;
};

// The lines of one INI text. Lines are kept as read, so serialize() gives the same bytes
// back until something is changed.
class IniDocument {
public:
    [[nodiscard]] static IniDocument parse(QByteArrayView text);
    [[nodiscard]] QByteArray serialize() const;

    [[nodiscard]] std::optional<QString> value(QStringView section, QStringView key) const;
    [[nodiscard]] bool hasSection(QStringView section) const;
    [[nodiscard]] QStringList sections() const;
    [[nodiscard]] QStringList keys(QStringView section) const;

    // An empty string when the three can be written, otherwise the reason they cannot.
    [[nodiscard]] static QString checkWritable(QStringView section, QStringView key, QStringView value);
    // Replaces the key's first line in the section, or adds it (and the section). The
    // arguments must have passed checkWritable().
    void setValue(QStringView section, QStringView key, QStringView value);
    // Removes every section of that name with its lines. False when there was none.
    bool eraseSection(QStringView section);
    // Removes the key from the section that lookups use. False when it was not there.
    bool deleteKey(QStringView section, QStringView key);

private:
    struct Line {
        enum Kind { Other, Section, Entry };
        QByteArray raw; // with its line end, if it had one
        Kind kind = Other;
        QString name;   // section or key name, trimmed
        QString value;  // entries only: trimmed, enclosing quotes removed
    };
    static Line classify(QByteArray raw);
    [[nodiscard]] qsizetype findSection(QStringView section) const; // header line, or -1
    [[nodiscard]] qsizetype sectionEnd(qsizetype header) const;     // first line after it
    [[nodiscard]] qsizetype findEntry(qsizetype header, QStringView key) const;
    [[nodiscard]] QByteArray lineEnd() const;

    QByteArray m_bom;
    std::vector<Line> m_lines;
};

class TIniFile {
public:
    explicit TIniFile(const QString &fileName);

    [[nodiscard]] QString FileName() const { return m_fileName; }

    // `defaultValue` when the key is missing (or the file does not exist).
    [[nodiscard]] QString ReadString(const QString &section, const QString &ident, const QString &defaultValue) const;
    // Decimal, or hexadecimal after "0x" or "$", within 32 bits; `defaultValue` when the key
    // is missing or its text is not such a number.
    [[nodiscard]] int32_t ReadInteger(const QString &section, const QString &ident, int32_t defaultValue) const;
    // ReadInteger(section, ident, defaultValue ? 1 : 0) != 0.
    [[nodiscard]] bool ReadBool(const QString &section, const QString &ident, bool defaultValue) const;
    void WriteString(const QString &section, const QString &ident, const QString &value);
    void WriteInteger(const QString &section, const QString &ident, int32_t value);
    // Written as 1 or 0.
    void WriteBool(const QString &section, const QString &ident, bool value);

    // As in TIniFile: true when the section holds at least one key.
    [[nodiscard]] bool SectionExists(const QString &section) const;
    [[nodiscard]] bool ValueExists(const QString &section, const QString &ident) const;
    // Section names in file order, each once.
    [[nodiscard]] QStringList ReadSections() const;
    // Key names of the section in file order, each once.
    [[nodiscard]] QStringList ReadSection(const QString &section) const;
    void EraseSection(const QString &section);
    void DeleteKey(const QString &section, const QString &ident);

private:
    [[nodiscard]] IniDocument load() const;
    template <typename Change>
    void modify(const QString &what, Change &&change);

    QString m_fileName;
};

// The integer rule of ReadInteger, for reuse: nullopt when `text` is not a number.
[[nodiscard]] std::optional<int32_t> ParseIniInteger(QStringView text);

} // namespace platform
