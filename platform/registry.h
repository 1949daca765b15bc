#pragma once
// The registry the programs keep their settings in, with the operations and behaviour of
// the VCL's TRegistry so that settings code reads the same as it was designed:
//
//   platform::TRegistry reg;
//   reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
//   if (reg.OpenKey("Software\\Keldane\\@Trawlix", true)) {
//       if (reg.ValueExists("UpDown1"))
//           depth = reg.ReadInteger("UpDown1");
//       reg.WriteString("Edit8", proxy);
//       reg.CloseKey();
//   }
//
// Storage: one hive file per root, named after it (HKEY_CURRENT_USER.reg, ...), in .reg
// text (see regfile.h), in $KELDANE_REGISTRY_DIR when set, else $XDG_CONFIG_HOME/keldane/,
// else ~/.config/keldane/. Nothing is cached: every read reads the hive afresh, so values
// written by another program are seen at once. Every write takes an exclusive lock on the
// hive's lock file (HKEY_CURRENT_USER.reg.lock), reads the hive again under it, applies that
// one change and replaces the file atomically (mode 0600), so programs writing the same key
// at once lose nothing and a crash leaves the previous file whole.
//
// A hive that cannot be read or parsed raises RegistryError naming the file and line; it is
// never rewritten (a copy is kept next to it, HKEY_CURRENT_USER.reg.malformed), so that a
// damaged or hand-edited file is not silently replaced by an empty one.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <stdexcept>

namespace platform {

// The roots, with the values Windows gives them.
enum HKEY : uint32_t {
    HKEY_CLASSES_ROOT = 0x80000000u,
    HKEY_CURRENT_USER = 0x80000001u,
    HKEY_LOCAL_MACHINE = 0x80000002u,
};

// Raised for a wrong-type read, a read of a missing integer, a failed write and a hive
// that cannot be read. what() is UTF-8.
class RegistryError : public std::runtime_error {
public:
    explicit RegistryError(const QString &message);
    [[nodiscard]] QString message() const;
};

// The folder holding the hive files, resolved from the environment now.
[[nodiscard]] QString RegistryDirectory();
// "HKEY_CURRENT_USER" and so on.
[[nodiscard]] QString RootKeyName(HKEY root);

class TRegistry {
public:
    // Root HKEY_CURRENT_USER, no key open; the hive folder is resolved here.
    TRegistry();

    [[nodiscard]] HKEY RootKey() const { return m_root; }
    // Changing the root closes the current key.
    void SetRootKey(HKEY root);

    // Opens `key`: with a leading backslash from the root, otherwise below the current key
    // when one is open. Key names are backslash-separated and case-insensitive. With
    // `canCreate` a missing key is created together with its parents. Returns false when the
    // key does not exist and may not be created, or when it cannot be created (the folder is
    // not writable, the disk is full); the current key is then unchanged.
    [[nodiscard]] bool OpenKey(const QString &key, bool canCreate);
    // Opens an existing key for reading; writes through it raise RegistryError.
    [[nodiscard]] bool OpenKeyReadOnly(const QString &key);
    // Forgets the current key. Writes are on disk already; nothing is flushed here.
    void CloseKey();
    // The current key's path below the root ("" when none is open).
    [[nodiscard]] QString CurrentPath() const { return m_path; }
    [[nodiscard]] bool HasCurrentKey() const { return m_open; }

    // Whether `key` (relative as for OpenKey) exists.
    [[nodiscard]] bool KeyExists(const QString &key) const;

    // Value access in the current key (in the root itself when no key is open). The name ""
    // is the key's default value. Names are case-insensitive.
    [[nodiscard]] bool ValueExists(const QString &name) const;
    // A missing value reads as "", as in TRegistry; an integer value raises RegistryError.
    [[nodiscard]] QString ReadString(const QString &name) const;
    // A missing value or a string value raises RegistryError.
    [[nodiscard]] int32_t ReadInteger(const QString &name) const;
    // ReadInteger() != 0.
    [[nodiscard]] bool ReadBool(const QString &name) const;
    // Each write replaces the value whatever its type was, and is on disk when it returns.
    // Failures raise RegistryError. A text holding a NUL character is refused.
    void WriteString(const QString &name, const QString &value);
    void WriteInteger(const QString &name, int32_t value);
    // Stored as the integer 1 or 0.
    void WriteBool(const QString &name, bool value);
    // Value names of the current key, in the order they were first written.
    [[nodiscard]] QStringList GetValueNames() const;
    // Names of the current key's direct subkeys.
    [[nodiscard]] QStringList GetKeyNames() const;
    // False when there was no such value; a failed write raises RegistryError.
    [[nodiscard]] bool DeleteValue(const QString &name);
    // Deletes `key` (relative as for OpenKey) with all its subkeys. False when it did not
    // exist; a failed write raises RegistryError.
    [[nodiscard]] bool DeleteKey(const QString &key);

private:
    [[nodiscard]] QString hivePath() const;
    [[nodiscard]] QString resolve(const QString &key) const;
    [[nodiscard]] QString describeKey(const QString &path) const;
    void requireWritable(const QString &what) const;
    template <typename Change>
    void writeValue(const QString &name, const QString &what, Change &&change);

    QString m_folder;
    HKEY m_root = HKEY_CURRENT_USER;
    bool m_open = false;
    bool m_readOnly = false;
    QString m_path;
};

} // namespace platform
