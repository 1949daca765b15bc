#pragma once
// The registry hive model and its text form, the Windows .reg format:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Keldane]
//   "Name"="text with \\ and \" escaped"
//   @="the key's default value"
//   "Count"=dword:0000000a
//
// Only string and dword values exist here. Text is UTF-8. A line feed or carriage return
// inside a name or a string is written as \n or \r (the escapes Wine's regedit reads too), so
// multi-line texts round-trip and every entry stays on one line. Files are written with line
// feeds; line feeds and CR LF are both read. The parser is strict: anything it does not
// understand is an error with its line number, so that a hand-edited hive is never
// misread and then rewritten with values lost.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <map>
#include <vector>

namespace platform::regfile {

enum class ValueType { String, Integer };

struct Value {
    QString name; // "" is the key's default value, "@" in the file
    ValueType type = ValueType::String;
    QString text;       // when type is String
    int32_t number = 0; // when type is Integer

    bool operator==(const Value &) const = default;
};

struct Key {
    QString path;              // below the root, components joined with "\"; "" is the root
    std::vector<Value> values; // in the order they were first written

    [[nodiscard]] const Value *findValue(QStringView name) const;
    [[nodiscard]] Value *findValue(QStringView name);
    // Sets or replaces the value of that name (the stored name keeps its first spelling).
    // Returns false when an equal value was there already.
    bool setValue(const Value &value);
    bool removeValue(QStringView name);

    bool operator==(const Key &) const = default;
};

// The keys of one root. Names are compared without regard to case, as on Windows; each key
// keeps the spelling it was created with. Every ancestor of a key exists as a key too.
class Hive {
public:
    Hive();

    [[nodiscard]] const Key *findKey(QStringView path) const;
    [[nodiscard]] Key *findKey(QStringView path);
    // Returns the key, creating it and its missing ancestors. `path` must be normalised.
    Key &createKey(QStringView path);
    // Removes the key with all its subkeys; the root cannot be removed. False when missing.
    bool removeKey(QStringView path);
    [[nodiscard]] QStringList subKeyNames(QStringView path) const;

    // Keys in writing order: each key before its subkeys.
    [[nodiscard]] const std::map<QString, Key> &keys() const { return m_keys; }

    bool operator==(const Hive &) const = default;

private:
    std::map<QString, Key> m_keys; // case-folded path -> key; the root ("") always present
};

// Case-insensitive comparison key for a name or a path.
[[nodiscard]] QString foldName(QStringView name);

// Turns a key path below the root into its stored form: components separated by single
// backslashes, no leading or trailing backslash. Empty components are dropped. Returns
// false and a reason when a component holds a control character.
[[nodiscard]] bool normalizeKeyPath(QStringView path, QString &normalized, QString &reason);

// Returns an empty string when `text` can be stored as a value name or string value,
// otherwise the reason it cannot (a NUL character, broken UTF-16).
[[nodiscard]] QString checkStorable(QStringView text);

struct ParseError {
    int line = 0; // 1-based; 0 when the problem is not on one line
    QString reason;
};

// Reads .reg text whose sections must all belong to the root `rootName`
// ("HKEY_CURRENT_USER"). Empty text is an empty hive. Returns false and fills `error` on the
// first line it cannot read; `hive` is then unspecified.
[[nodiscard]] bool parse(QByteArrayView text, QStringView rootName, Hive &hive, ParseError &error);

// The .reg text of `hive`, which parse() reads back to an equal hive.
[[nodiscard]] QByteArray serialize(const Hive &hive, QStringView rootName);

} // namespace platform::regfile
