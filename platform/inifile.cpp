#include "platform/inifile.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <limits>
#include <sys/stat.h>

namespace platform {
namespace {

QString decodeLine(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    // Files written on Windows are often in the ANSI code page; keep their bytes readable.
    if (decoder.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

QByteArrayView withoutLineEnd(const QByteArray &raw)
{
    QByteArrayView view(raw);
    if (view.endsWith('\n'))
        view.chop(1);
    if (view.endsWith('\r'))
        view.chop(1);
    return view;
}

QString unquoted(QStringView value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2).toString();
    return value.toString();
}

bool sameName(QStringView a, QStringView b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

QByteArray entryLine(QStringView key, QStringView value, const QByteArray &end)
{
    QString text = value.toString();
    // Trimming and quote removal on reading would change such a value: quote it.
    const bool needsQuotes = text != text.trimmed()
                          || (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front());
    if (needsQuotes)
        text = u'"' + text + u'"';
    return key.trimmed().toUtf8() + '=' + text.toUtf8() + end;
}

} // namespace

IniFileError::IniFileError(const QString &message) : std::runtime_error(message.toStdString()) {}

QString IniFileError::message() const
{
    return QString::fromUtf8(what());
}

IniDocument::Line IniDocument::classify(QByteArray raw)
{
    Line line;
    line.raw = std::move(raw);
    const QString text = decodeLine(withoutLineEnd(line.raw));
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';'))
        return line;
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        if (close > 0) {
            line.kind = Line::Section;
            line.name = trimmed.mid(1, close - 1).trimmed().toString();
        }
        return line;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals <= 0)
        return line;
    const QStringView key = trimmed.left(equals).trimmed();
    if (key.isEmpty())
        return line;
    line.kind = Line::Entry;
    line.name = key.toString();
    line.value = unquoted(trimmed.mid(equals + 1).trimmed());
    return line;
}

IniDocument IniDocument::parse(QByteArrayView text)
{
    IniDocument doc;
    if (text.startsWith("\xEF\xBB\xBF")) {
        doc.m_bom = QByteArray("\xEF\xBB\xBF");
        text = text.sliced(3);
    }
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        doc.m_lines.push_back(classify(text.sliced(start, end - start).toByteArray()));
        start = end;
    }
    return doc;
}

QByteArray IniDocument::serialize() const
{
    QByteArray out = m_bom;
    for (const Line &line : m_lines)
        out += line.raw;
    return out;
}

QByteArray IniDocument::lineEnd() const
{
    for (const Line &line : m_lines) {
        if (line.raw.endsWith("\r\n"))
            return "\r\n";
        if (line.raw.endsWith('\n'))
            return "\n";
    }
    return "\n";
}

qsizetype IniDocument::findSection(QStringView section) const
{
    for (qsizetype i = 0; i < qsizetype(m_lines.size()); ++i) {
        if (m_lines[i].kind == Line::Section && sameName(m_lines[i].name, section))
            return i;
    }
    return -1;
}

qsizetype IniDocument::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < qsizetype(m_lines.size()) && m_lines[i].kind != Line::Section)
        ++i;
    return i;
}

qsizetype IniDocument::findEntry(qsizetype header, QStringView key) const
{
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Line::Entry && sameName(m_lines[i].name, key))
            return i;
    }
    return -1;
}

std::optional<QString> IniDocument::value(QStringView section, QStringView key) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return std::nullopt;
    const qsizetype entry = findEntry(header, key);
    if (entry < 0)
        return std::nullopt;
    return m_lines[entry].value;
}

bool IniDocument::hasSection(QStringView section) const
{
    return findSection(section) >= 0;
}

QStringList IniDocument::sections() const
{
    QStringList names;
    for (const Line &line : m_lines) {
        if (line.kind == Line::Section && !names.contains(line.name, Qt::CaseInsensitive))
            names.append(line.name);
    }
    return names;
}

QStringList IniDocument::keys(QStringView section) const
{
    QStringList names;
    const qsizetype header = findSection(section);
    if (header < 0)
        return names;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Line::Entry && !names.contains(m_lines[i].name, Qt::CaseInsensitive))
            names.append(m_lines[i].name);
    }
    return names;
}

QString IniDocument::checkWritable(QStringView section, QStringView key, QStringView value)
{
    auto breaksLine = [](QStringView text) {
        return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(0));
    };
    const QStringView s = section.trimmed();
    const QStringView k = key.trimmed();
    if (s.isEmpty() || breaksLine(s) || s.contains(u']'))
        return QStringLiteral("the section name \"%1\" cannot be stored in an INI file").arg(section.toString());
    if (k.isEmpty() || breaksLine(k) || k.contains(u'=') || k.startsWith(u'[') || k.startsWith(u';'))
        return QStringLiteral("the key name \"%1\" cannot be stored in an INI file").arg(key.toString());
    if (breaksLine(value))
        return QStringLiteral("the value of \"%1\" holds a line break or a NUL character, which an INI file cannot hold")
            .arg(key.toString());
    return {};
}

void IniDocument::setValue(QStringView section, QStringView key, QStringView value)
{
    const QByteArray end = lineEnd();
    const qsizetype header = findSection(section);
    if (header >= 0) {
        const qsizetype entry = findEntry(header, key);
        if (entry >= 0) {
            QByteArray ending = m_lines[entry].raw.endsWith("\r\n") ? QByteArray("\r\n")
                              : m_lines[entry].raw.endsWith('\n')   ? QByteArray("\n")
                                                                    : QByteArray();
            // The stored spelling of the key stays.
            m_lines[entry] = classify(entryLine(m_lines[entry].name, value, ending));
            return;
        }
        // After the section's last non-blank line, so blank separators stay before the next.
        qsizetype at = sectionEnd(header);
        while (at > header + 1 && withoutLineEnd(m_lines[at - 1].raw).trimmed().isEmpty())
            --at;
        if (!m_lines[at - 1].raw.endsWith('\n'))
            m_lines[at - 1].raw += end;
        m_lines.insert(m_lines.begin() + at, classify(entryLine(key, value, end)));
        return;
    }
    if (!m_lines.empty()) {
        if (!m_lines.back().raw.endsWith('\n'))
            m_lines.back().raw += end;
        if (!withoutLineEnd(m_lines.back().raw).trimmed().isEmpty())
            m_lines.push_back(classify(end));
    }
    m_lines.push_back(classify('[' + section.trimmed().toUtf8() + ']' + end));
    m_lines.push_back(classify(entryLine(key, value, end)));
}

bool IniDocument::eraseSection(QStringView section)
{
    bool erased = false;
    for (qsizetype header = findSection(section); header >= 0; header = findSection(section)) {
        m_lines.erase(m_lines.begin() + header, m_lines.begin() + sectionEnd(header));
        erased = true;
    }
    return erased;
}

bool IniDocument::deleteKey(QStringView section, QStringView key)
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return false;
    bool deleted = false;
    // Every line of that key in the section goes, or a later one would show through.
    for (qsizetype entry = findEntry(header, key); entry >= 0; entry = findEntry(header, key)) {
        m_lines.erase(m_lines.begin() + entry);
        deleted = true;
    }
    return deleted;
}

std::optional<int32_t> ParseIniInteger(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    int base = 10;
    if (text.startsWith(u'$')) {
        base = 16;
        text = text.mid(1);
    } else if (text.size() > 2 && text.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        return std::nullopt;
    uint64_t magnitude = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (base == 16 && u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (base == 16 && u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal covers the 32 bits, as in Delphi's StrToInt("$FFFFFFFF") = -1.
        const auto bits = static_cast<uint32_t>(magnitude);
        return negative ? static_cast<int32_t>(0u - bits) : static_cast<int32_t>(bits);
    }
    const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
    if (int64_t(magnitude) > limit)
        return std::nullopt;
    return static_cast<int32_t>(negative ? -int64_t(magnitude) : int64_t(magnitude));
}

TIniFile::TIniFile(const QString &fileName) : m_fileName(fileName) {}

IniDocument TIniFile::load() const
{
    QByteArray contents;
    const FileResult read = ReadWholeFile(m_fileName, contents);
    if (!read.ok() && read.errorNumber != ENOENT)
        throw IniFileError(QStringLiteral("Cannot read the INI file: %1").arg(read.message));
    return IniDocument::parse(contents);
}

template <typename Change>
void TIniFile::modify(const QString &what, Change &&change)
{
    FileLock lock;
    FileResult result = lock.acquire(m_fileName + QStringLiteral(".lock"), FileLock::Exclusive);
    if (result.ok()) {
        IniDocument doc = load();
        if (!change(doc))
            return;
        // A rewrite keeps the permissions the file had.
        mode_t mode = 0644;
        struct stat info {};
        if (::stat(QFile::encodeName(m_fileName).constData(), &info) == 0)
            mode = info.st_mode & 07777;
        result = WriteFileAtomically(m_fileName, doc.serialize(), mode);
    }
    if (!result.ok())
        throw IniFileError(QStringLiteral("Cannot %1 in %2: %3").arg(what, m_fileName, result.message));
}

QString TIniFile::ReadString(const QString &section, const QString &ident, const QString &defaultValue) const
{
    return load().value(section, ident).value_or(defaultValue);
}

int32_t TIniFile::ReadInteger(const QString &section, const QString &ident, int32_t defaultValue) const
{
    const std::optional<QString> text = load().value(section, ident);
    if (!text)
        return defaultValue;
    return ParseIniInteger(*text).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString &section, const QString &ident, bool defaultValue) const
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &ident, const QString &value)
{
    const QString what = QStringLiteral("write [%1] %2").arg(section, ident);
    const QString problem = IniDocument::checkWritable(section, ident, value);
    if (!problem.isEmpty())
        throw IniFileError(QStringLiteral("Cannot %1 in %2: %3").arg(what, m_fileName, problem));
    modify(what, [&](IniDocument &doc) {
        if (doc.value(section, ident) == value)
            return false;
        doc.setValue(section, ident, value);
        return true;
    });
}

void TIniFile::WriteInteger(const QString &section, const QString &ident, int32_t value)
{
    WriteString(section, ident, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::SectionExists(const QString &section) const
{
    return !load().keys(section).isEmpty();
}

bool TIniFile::ValueExists(const QString &section, const QString &ident) const
{
    return load().value(section, ident).has_value();
}

QStringList TIniFile::ReadSections() const
{
    return load().sections();
}

QStringList TIniFile::ReadSection(const QString &section) const
{
    return load().keys(section);
}

void TIniFile::EraseSection(const QString &section)
{
    modify(QStringLiteral("erase [%1]").arg(section), [&](IniDocument &doc) { return doc.eraseSection(section); });
}

void TIniFile::DeleteKey(const QString &section, const QString &ident)
{
    modify(QStringLiteral("delete [%1] %2").arg(section, ident), [&](IniDocument &doc) { return doc.deleteKey(section, ident); });
}

} // namespace platform
