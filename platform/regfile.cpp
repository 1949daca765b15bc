#include "platform/regfile.h"

#include <QStringDecoder>

#include <algorithm>

namespace platform::regfile {
namespace {

const Value *findIn(const std::vector<Value> &values, QStringView name)
{
    for (const Value &value : values) {
        if (QStringView(value.name).compare(name, Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}

bool hasControlCharacter(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

QString parentOf(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'\\');
    return slash < 0 ? QString() : path.left(slash).toString();
}

// --- writing ---

void appendQuoted(QByteArray &out, QStringView text)
{
    out += '"';
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': escaped += QLatin1String("\\\\"); break;
        case '"': escaped += QLatin1String("\\\""); break;
        case '\n': escaped += QLatin1String("\\n"); break;
        case '\r': escaped += QLatin1String("\\r"); break;
        default: escaped += c;
        }
    }
    out += escaped.toUtf8();
    out += '"';
}

// --- reading ---

class LineReader {
public:
    explicit LineReader(QStringView line) : m_line(line) {}

    void skipBlanks()
    {
        while (m_pos < m_line.size() && (m_line[m_pos] == u' ' || m_line[m_pos] == u'\t'))
            ++m_pos;
    }
    [[nodiscard]] bool atEnd() const { return m_pos >= m_line.size(); }
    [[nodiscard]] QChar peek() const { return atEnd() ? QChar() : m_line[m_pos]; }
    void advance(qsizetype n = 1) { m_pos += n; }
    [[nodiscard]] QStringView rest() const { return m_line.mid(m_pos); }

    // Reads a quoted string starting at the opening quote.
    [[nodiscard]] bool readQuoted(QString &out, QString &reason)
    {
        out.clear();
        advance(); // opening quote
        while (!atEnd()) {
            const QChar c = m_line[m_pos++];
            if (c == u'"')
                return true;
            if (c != u'\\') {
                out += c;
                continue;
            }
            if (atEnd())
                break;
            const QChar e = m_line[m_pos++];
            switch (e.unicode()) {
            case '\\': out += u'\\'; break;
            case '"': out += u'"'; break;
            case 'n': out += u'\n'; break;
            case 'r': out += u'\r'; break;
            default:
                reason = QStringLiteral("unknown escape \"\\%1\" in a quoted text (write a backslash as \\\\)").arg(e);
                return false;
            }
        }
        reason = QStringLiteral("a quoted text is not closed");
        return false;
    }

private:
    QStringView m_line;
    qsizetype m_pos = 0;
};

bool parseHex32(QStringView digits, int32_t &number)
{
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    uint32_t result = 0;
    for (QChar c : digits) {
        const int d = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                    : (c.unicode() >= 'a' && c.unicode() <= 'f') ? c.unicode() - 'a' + 10
                    : (c.unicode() >= 'A' && c.unicode() <= 'F') ? c.unicode() - 'A' + 10
                    : -1;
        if (d < 0)
            return false;
        result = result * 16 + static_cast<uint32_t>(d);
    }
    number = static_cast<int32_t>(result);
    return true;
}

class Parser {
public:
    Parser(QStringView rootName, Hive &hive, ParseError &error) : m_root(rootName), m_hive(hive), m_error(error) {}

    bool line(int number, QStringView text)
    {
        m_lineNumber = number;
        const QStringView trimmed = text.trimmed();
        if (!m_sawHeader) {
            if (trimmed.isEmpty())
                return true;
            if (trimmed == u"REGEDIT4" || trimmed == u"Windows Registry Editor Version 5.00") {
                m_sawHeader = true;
                return true;
            }
            return fail(QStringLiteral("expected the header REGEDIT4"));
        }
        if (trimmed.isEmpty() || trimmed.startsWith(u';'))
            return true;
        if (trimmed.startsWith(u'['))
            return section(trimmed);
        if (trimmed.startsWith(u'"') || trimmed.startsWith(u'@'))
            return value(trimmed);
        return fail(QStringLiteral("expected a [key] line or a \"Name\"=value line"));
    }

    bool finish(int lastLine)
    {
        m_lineNumber = lastLine;
        return true;
    }

private:
    bool fail(const QString &reason)
    {
        m_error.line = m_lineNumber;
        m_error.reason = reason;
        return false;
    }

    bool section(QStringView trimmed)
    {
        if (!trimmed.endsWith(u']'))
            return fail(QStringLiteral("a [key] line does not end with \"]\""));
        QStringView full = trimmed.mid(1, trimmed.size() - 2);
        if (full.startsWith(u'-'))
            return fail(QStringLiteral("deleting keys ([-key]) is not supported in a stored hive"));
        const qsizetype slash = full.indexOf(u'\\');
        const QStringView root = slash < 0 ? full : full.left(slash);
        if (root.compare(m_root, Qt::CaseInsensitive) != 0)
            return fail(QStringLiteral("the key \"%1\" does not belong to %2").arg(full.toString(), m_root.toString()));
        const QStringView below = slash < 0 ? QStringView() : full.mid(slash + 1);
        if (!below.isEmpty()) {
            for (QStringView component : below.split(u'\\')) {
                if (component.isEmpty())
                    return fail(QStringLiteral("the key \"%1\" has an empty name between backslashes").arg(full.toString()));
                if (hasControlCharacter(component))
                    return fail(QStringLiteral("the key \"%1\" holds a control character").arg(full.toString()));
            }
        }
        m_current = &m_hive.createKey(below);
        return true;
    }

    bool value(QStringView trimmed)
    {
        if (!m_current)
            return fail(QStringLiteral("a value comes before the first [key] line"));
        LineReader in(trimmed);
        Value value;
        QString reason;
        if (in.peek() == u'@') {
            in.advance();
        } else if (!in.readQuoted(value.name, reason)) {
            return fail(reason);
        }
        in.skipBlanks();
        if (in.peek() != u'=')
            return fail(QStringLiteral("expected \"=\" after the value name"));
        in.advance();
        in.skipBlanks();
        if (in.peek() == u'"') {
            value.type = ValueType::String;
            if (!in.readQuoted(value.text, reason))
                return fail(reason);
        } else if (in.rest().startsWith(u"dword:", Qt::CaseInsensitive)) {
            in.advance(6);
            QStringView digits = in.rest();
            qsizetype end = 0;
            while (end < digits.size() && digits[end] != u' ' && digits[end] != u'\t')
                ++end;
            value.type = ValueType::Integer;
            if (!parseHex32(digits.left(end), value.number))
                return fail(QStringLiteral("a dword needs 1 to 8 hexadecimal digits"));
            in.advance(end);
        } else if (in.peek() == u'-') {
            return fail(QStringLiteral("deleting values (\"Name\"=-) is not supported in a stored hive"));
        } else if (in.rest().startsWith(u"hex", Qt::CaseInsensitive)) {
            return fail(QStringLiteral("only string and dword values are supported, not hex data"));
        } else {
            return fail(QStringLiteral("expected a \"text\" or a dword:XXXXXXXX value"));
        }
        in.skipBlanks();
        if (!in.atEnd())
            return fail(QStringLiteral("unexpected text after the value"));
        m_current->setValue(value);
        return true;
    }

    QStringView m_root;
    Hive &m_hive;
    ParseError &m_error;
    Key *m_current = nullptr;
    bool m_sawHeader = false;
    int m_lineNumber = 0;
};

} // namespace

const Value *Key::findValue(QStringView name) const
{
    return findIn(values, name);
}

Value *Key::findValue(QStringView name)
{
    return const_cast<Value *>(findIn(values, name));
}

bool Key::setValue(const Value &value)
{
    if (Value *existing = findValue(value.name)) {
        Value replaced = value;
        replaced.name = existing->name;
        if (*existing == replaced)
            return false;
        *existing = replaced;
        return true;
    }
    values.push_back(value);
    return true;
}

bool Key::removeValue(QStringView name)
{
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const Value &v) { return QStringView(v.name).compare(name, Qt::CaseInsensitive) == 0; });
    if (it == values.end())
        return false;
    values.erase(it);
    return true;
}

Hive::Hive()
{
    m_keys.emplace(QString(), Key{});
}

const Key *Hive::findKey(QStringView path) const
{
    const auto it = m_keys.find(foldName(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

Key *Hive::findKey(QStringView path)
{
    const auto it = m_keys.find(foldName(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

Key &Hive::createKey(QStringView path)
{
    if (Key *existing = findKey(path))
        return *existing;
    const QString parentPath = parentOf(path);
    Key &parent = createKey(parentPath);
    const QStringView last = path.mid(parentPath.isEmpty() ? 0 : parentPath.size() + 1);
    Key key;
    // The parent's spelling wins for the shared part of the path.
    key.path = parent.path.isEmpty() ? last.toString() : parent.path + u'\\' + last.toString();
    return m_keys.emplace(foldName(path), std::move(key)).first->second;
}

bool Hive::removeKey(QStringView path)
{
    const QString folded = foldName(path);
    if (folded.isEmpty() || m_keys.find(folded) == m_keys.end())
        return false;
    const QString prefix = folded + u'\\';
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (it->first == folded || it->first.startsWith(prefix))
            it = m_keys.erase(it);
        else
            ++it;
    }
    return true;
}

QStringList Hive::subKeyNames(QStringView path) const
{
    const QString folded = foldName(path);
    QStringList names;
    for (const auto &[foldedPath, key] : m_keys) {
        if (foldedPath.isEmpty())
            continue;
        const QString parent = parentOf(key.path);
        if (foldName(parent) == folded)
            names.append(parent.isEmpty() ? key.path : key.path.mid(parent.size() + 1));
    }
    return names;
}

QString foldName(QStringView name)
{
    return name.toString().toCaseFolded();
}

bool normalizeKeyPath(QStringView path, QString &normalized, QString &reason)
{
    QStringList components;
    for (QStringView component : path.split(u'\\', Qt::SkipEmptyParts)) {
        if (hasControlCharacter(component)) {
            reason = QStringLiteral("the key name \"%1\" holds a control character").arg(component.toString());
            return false;
        }
        components.append(component.toString());
    }
    normalized = components.join(u'\\');
    return true;
}

QString checkStorable(QStringView text)
{
    if (text.contains(QChar(0)))
        return QStringLiteral("it holds a NUL character");
    if (!text.isValidUtf16())
        return QStringLiteral("it is not valid UTF-16 text");
    return {};
}

bool parse(QByteArrayView text, QStringView rootName, Hive &hive, ParseError &error)
{
    hive = Hive();
    error = {};
    if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF")) {
        error = {1, QStringLiteral("the file is UTF-16; only UTF-8 hives are read")};
        return false;
    }
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);

    Parser parser(rootName, hive, error);
    int number = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        ++number;
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView raw = text.sliced(start, end - start);
        start = end + 1;
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.contains('\0')) {
            error = {number, QStringLiteral("the line holds a NUL byte")};
            return false;
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = decoder(raw);
        if (decoder.hasError()) {
            error = {number, QStringLiteral("the line is not valid UTF-8")};
            return false;
        }
        if (!parser.line(number, line))
            return false;
    }
    return parser.finish(number);
}

QByteArray serialize(const Hive &hive, QStringView rootName)
{
    QByteArray out = "REGEDIT4\n";
    const QByteArray root = rootName.toUtf8();
    for (const auto &[folded, key] : hive.keys()) {
        if (folded.isEmpty() && key.values.empty())
            continue; // the root exists anyway; list it only when it holds values
        out += "\n[";
        out += root;
        if (!key.path.isEmpty()) {
            out += '\\';
            out += key.path.toUtf8();
        }
        out += "]\n";
        for (const Value &value : key.values) {
            if (value.name.isEmpty())
                out += '@';
            else
                appendQuoted(out, value.name);
            out += '=';
            if (value.type == ValueType::String) {
                appendQuoted(out, value.text);
            } else {
                out += "dword:";
                out += QByteArray::number(static_cast<uint32_t>(value.number), 16).rightJustified(8, '0');
            }
            out += '\n';
        }
    }
    return out;
}

} // namespace platform::regfile
