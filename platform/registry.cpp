#include "platform/registry.h"

#include "platform/atomicfile.h"
#include "platform/regfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

using regfile::Hive;
using regfile::Key;
using regfile::Value;
using regfile::ValueType;

QString environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? QFile::decodeName(value) : QString();
}

QString homeFolder()
{
    QString home = environment("HOME");
    if (home.isEmpty()) {
        if (const passwd *entry = ::getpwuid(::getuid()))
            home = QFile::decodeName(entry->pw_dir);
    }
    return home;
}

// Keeps the bytes of a hive that could not be parsed next to it, once per distinct content,
// so that nothing of it is lost whatever happens to the original later. Returns the copy's
// path, or an empty string with `problem` set.
QString keepMalformedCopy(const QString &hivePath, const QByteArray &contents, QString &problem)
{
    const QString base = hivePath + QStringLiteral(".malformed");
    for (int n = 0; n < 100; ++n) {
        const QString candidate = n == 0 ? base : base + u'-' + QString::number(n);
        QByteArray existing;
        const FileResult read = ReadWholeFile(candidate, existing);
        if (read.ok()) {
            if (existing == contents)
                return candidate;
            continue;
        }
        if (read.errorNumber != ENOENT)
            continue;
        const FileResult written = WriteFileAtomically(candidate, contents, 0600);
        if (written.ok())
            return candidate;
        problem = written.message;
        return {};
    }
    problem = QStringLiteral("100 copies exist already");
    return {};
}

// Reads and parses one hive. A missing file is an empty hive.
Hive loadHive(const QString &path, const QString &rootName)
{
    QByteArray contents;
    const FileResult read = ReadWholeFile(path, contents);
    Hive hive;
    if (!read.ok()) {
        if (read.errorNumber == ENOENT)
            return hive;
        throw RegistryError(QStringLiteral("Cannot read the registry hive: %1").arg(read.message));
    }
    regfile::ParseError error;
    if (regfile::parse(contents, rootName, hive, error))
        return hive;
    QString problem;
    const QString copy = keepMalformedCopy(path, contents, problem);
    const QString where = error.line > 0 ? QStringLiteral("%1, line %2").arg(path).arg(error.line) : path;
    const QString kept = copy.isEmpty() ? QStringLiteral("no copy could be kept (%1)").arg(problem)
                                        : QStringLiteral("a copy is kept in %1").arg(copy);
    throw RegistryError(QStringLiteral("Malformed registry hive %1: %2. The file is left as it is and %3; "
                                       "correct or remove it.")
                            .arg(where, error.reason, kept));
}

// Temporary files of a write that was killed before its rename. Called under the exclusive
// lock, when no other writer can be between its temporary file and its rename.
void removeStaleTemporaries(const QString &hivePath)
{
    const QFileInfo info(hivePath);
    QDir folder = info.absoluteDir();
    const QStringList stale = folder.entryList({info.fileName() + QStringLiteral(".tmp-*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : stale)
        QFile::remove(folder.filePath(name));
}

// Applies `change` to the hive as it is on disk now, under the exclusive lock, and writes it
// back when `change` reports a change. I/O failures come back as the result; a hive that
// cannot be parsed raises RegistryError and is not written.
FileResult modifyHive(const QString &folder, const QString &path, const QString &rootName,
                      const std::function<bool(Hive &)> &change)
{
    FileResult made = MakeFolders(folder, 0700);
    if (!made.ok())
        return made;
    FileLock lock;
    FileResult locked = lock.acquire(path + QStringLiteral(".lock"), FileLock::Exclusive);
    if (!locked.ok())
        return locked;
    Hive hive = loadHive(path, rootName);
    if (!change(hive))
        return {};
    removeStaleTemporaries(path);
    return WriteFileAtomically(path, regfile::serialize(hive, rootName), 0600);
}

QString typeName(ValueType type)
{
    return type == ValueType::String ? QStringLiteral("a string") : QStringLiteral("an integer");
}

} // namespace

RegistryError::RegistryError(const QString &message) : std::runtime_error(message.toStdString()) {}

QString RegistryError::message() const
{
    return QString::fromUtf8(what());
}

QString RegistryDirectory()
{
    const QString chosen = environment("KELDANE_REGISTRY_DIR");
    if (!chosen.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(chosen));
    const QString config = environment("XDG_CONFIG_HOME");
    // The XDG rules say a relative XDG_CONFIG_HOME is to be ignored.
    if (!config.isEmpty() && QDir::isAbsolutePath(config))
        return QDir::cleanPath(config + QStringLiteral("/keldane"));
    return QDir::cleanPath(homeFolder() + QStringLiteral("/.config/keldane"));
}

QString RootKeyName(HKEY root)
{
    switch (root) {
    case HKEY_CLASSES_ROOT: return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER: return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE: return QStringLiteral("HKEY_LOCAL_MACHINE");
    }
    throw RegistryError(QStringLiteral("Unknown registry root 0x%1").arg(static_cast<uint32_t>(root), 8, 16, QChar(u'0')));
}

TRegistry::TRegistry() : m_folder(RegistryDirectory()) {}

void TRegistry::SetRootKey(HKEY root)
{
    (void)RootKeyName(root); // refuses a value that is not one of the roots
    CloseKey();
    m_root = root;
}

QString TRegistry::hivePath() const
{
    return m_folder + u'/' + RootKeyName(m_root) + QStringLiteral(".reg");
}

QString TRegistry::resolve(const QString &key) const
{
    QString normalized;
    QString reason;
    if (!regfile::normalizeKeyPath(key, normalized, reason))
        throw RegistryError(QStringLiteral("Invalid registry key \"%1\": %2").arg(key, reason));
    // As in TRegistry: a leading backslash, or no open key, means from the root.
    if (key.startsWith(u'\\') || !m_open || m_path.isEmpty())
        return normalized;
    if (normalized.isEmpty())
        return m_path;
    return m_path + u'\\' + normalized;
}

QString TRegistry::describeKey(const QString &path) const
{
    return path.isEmpty() ? RootKeyName(m_root) : RootKeyName(m_root) + u'\\' + path;
}

bool TRegistry::OpenKey(const QString &key, bool canCreate)
{
    const QString path = resolve(key);
    const QString rootName = RootKeyName(m_root);
    bool exists = loadHive(hivePath(), rootName).findKey(path) != nullptr;
    if (!exists && canCreate) {
        const FileResult written = modifyHive(m_folder, hivePath(), rootName, [&](Hive &hive) {
            if (hive.findKey(path))
                return false;
            hive.createKey(path);
            return true;
        });
        exists = written.ok();
    }
    if (!exists)
        return false;
    m_open = true;
    m_readOnly = false;
    m_path = path;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const QString &key)
{
    const QString path = resolve(key);
    if (!loadHive(hivePath(), RootKeyName(m_root)).findKey(path))
        return false;
    m_open = true;
    m_readOnly = true;
    m_path = path;
    return true;
}

void TRegistry::CloseKey()
{
    m_open = false;
    m_readOnly = false;
    m_path.clear();
}

bool TRegistry::KeyExists(const QString &key) const
{
    return loadHive(hivePath(), RootKeyName(m_root)).findKey(resolve(key)) != nullptr;
}

bool TRegistry::ValueExists(const QString &name) const
{
    const Hive hive = loadHive(hivePath(), RootKeyName(m_root));
    const Key *key = hive.findKey(m_path);
    return key && key->findValue(name);
}

QString TRegistry::ReadString(const QString &name) const
{
    const Hive hive = loadHive(hivePath(), RootKeyName(m_root));
    const Key *key = hive.findKey(m_path);
    const Value *value = key ? key->findValue(name) : nullptr;
    if (!value)
        return {};
    if (value->type != ValueType::String)
        throw RegistryError(QStringLiteral("Invalid data type for \"%1\" in %2: it holds %3, not a string")
                                .arg(name, describeKey(m_path), typeName(value->type)));
    return value->text;
}

int32_t TRegistry::ReadInteger(const QString &name) const
{
    const Hive hive = loadHive(hivePath(), RootKeyName(m_root));
    const Key *key = hive.findKey(m_path);
    const Value *value = key ? key->findValue(name) : nullptr;
    if (!value)
        throw RegistryError(QStringLiteral("Failed to get data for \"%1\" in %2: there is no such value")
                                .arg(name, describeKey(m_path)));
    if (value->type != ValueType::Integer)
        throw RegistryError(QStringLiteral("Invalid data type for \"%1\" in %2: it holds %3, not an integer")
                                .arg(name, describeKey(m_path), typeName(value->type)));
    return value->number;
}

bool TRegistry::ReadBool(const QString &name) const
{
    return ReadInteger(name) != 0;
}

void TRegistry::requireWritable(const QString &what) const
{
    if (m_readOnly)
        throw RegistryError(QStringLiteral("Cannot %1 in %2: the key was opened read-only").arg(what, describeKey(m_path)));
}

template <typename Change>
void TRegistry::writeValue(const QString &name, const QString &what, Change &&change)
{
    requireWritable(what);
    const QString nameProblem = regfile::checkStorable(name);
    if (!nameProblem.isEmpty())
        throw RegistryError(QStringLiteral("Cannot %1 in %2: the value name %3").arg(what, describeKey(m_path), nameProblem));
    const FileResult written = modifyHive(m_folder, hivePath(), RootKeyName(m_root), [&](Hive &hive) {
        // A key removed by another program since it was opened is made again.
        return change(hive.createKey(m_path));
    });
    if (!written.ok())
        throw RegistryError(QStringLiteral("Cannot %1 in %2: %3").arg(what, describeKey(m_path), written.message));
}

void TRegistry::WriteString(const QString &name, const QString &value)
{
    const QString what = QStringLiteral("write \"%1\"").arg(name);
    const QString problem = regfile::checkStorable(value);
    if (!problem.isEmpty())
        throw RegistryError(QStringLiteral("Cannot %1 in %2: the text %3").arg(what, describeKey(m_path), problem));
    writeValue(name, what, [&](Key &key) { return key.setValue(Value{name, ValueType::String, value, 0}); });
}

void TRegistry::WriteInteger(const QString &name, int32_t value)
{
    writeValue(name, QStringLiteral("write \"%1\"").arg(name),
               [&](Key &key) { return key.setValue(Value{name, ValueType::Integer, QString(), value}); });
}

void TRegistry::WriteBool(const QString &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

QStringList TRegistry::GetValueNames() const
{
    const Hive hive = loadHive(hivePath(), RootKeyName(m_root));
    QStringList names;
    if (const Key *key = hive.findKey(m_path)) {
        for (const Value &value : key->values)
            names.append(value.name);
    }
    return names;
}

QStringList TRegistry::GetKeyNames() const
{
    return loadHive(hivePath(), RootKeyName(m_root)).subKeyNames(m_path);
}

bool TRegistry::DeleteValue(const QString &name)
{
    const QString what = QStringLiteral("delete \"%1\"").arg(name);
    requireWritable(what);
    bool removed = false;
    const FileResult written = modifyHive(m_folder, hivePath(), RootKeyName(m_root), [&](Hive &hive) {
        Key *key = hive.findKey(m_path);
        removed = key && key->removeValue(name);
        return removed;
    });
    if (!written.ok())
        throw RegistryError(QStringLiteral("Cannot %1 in %2: %3").arg(what, describeKey(m_path), written.message));
    return removed;
}

bool TRegistry::DeleteKey(const QString &key)
{
    const QString path = resolve(key);
    const QString what = QStringLiteral("delete the key %1").arg(describeKey(path));
    requireWritable(what);
    if (path.isEmpty())
        throw RegistryError(QStringLiteral("Cannot %1: a root cannot be deleted").arg(what));
    bool removed = false;
    const FileResult written = modifyHive(m_folder, hivePath(), RootKeyName(m_root), [&](Hive &hive) {
        removed = hive.removeKey(path);
        return removed;
    });
    if (!written.ok())
        throw RegistryError(QStringLiteral("Cannot %1: %2").arg(what, written.message));
    return removed;
}

} // namespace platform
