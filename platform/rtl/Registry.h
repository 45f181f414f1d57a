#pragma once

#include <QString>

#include <memory>

class IniDocument;

// The hives the store knows; only the current user's exists on this platform.
enum class HKEY { HKEY_CURRENT_USER };
using enum HKEY;

// The current user's registry on a system without one: a store file under the
// XDG config folder ($XDG_CONFIG_HOME/orvanta/registry, ~/.config when unset)
// in ini form, whose sections are key paths ("Software\Orvanta") and whose
// keys are value names. Key paths compare without regard to case and to
// leading or trailing backslashes, in the store as in the calls. Keys are only
// ever opened for reading: nothing here creates or writes the store.
//
// A key that cannot be opened for reading reads as missing; so does every key
// of a store that cannot be read (a folder, no permission, a FIFO, a device,
// too large), and StoreProblem() then says why, so the caller can tell the
// user where the settings went.
class TRegistry
{
public:
    TRegistry();
    ~TRegistry();

    HKEY RootKey() const { return m_rootKey; }
    void SetRootKey(HKEY Value) { m_rootKey = Value; }

    // True when the key exists; it becomes the current key.
    bool OpenKeyReadOnly(const QString &Key);
    bool KeyExists(const QString &Key);
    void CloseKey();
    QString CurrentPath() const { return m_currentPath; }

    bool ValueExists(const QString &Name) const;
    // The value of Name in the current key; empty when it does not exist.
    QString ReadString(const QString &Name) const;

    // Why the store could not be read at the last open, with its path; empty
    // when it was read or does not exist.
    QString StoreProblem() const { return m_storeProblem; }

    // Where the store lives; an override (for tests and the designer's command
    // line) takes precedence over the XDG location until cleared with "".
    static QString storePath();
    static void setStorePathOverride(const QString &Path);

private:
    static QString normalizeKey(const QString &Key);
    void loadStore();
    QString absoluteKey(const QString &Key) const;
    // The store's sections that spell Path, in file order.
    QStringList sectionsOf(const QString &Path) const;

    HKEY m_rootKey = HKEY_CURRENT_USER;
    QString m_currentPath;
    std::unique_ptr<IniDocument> m_store;
    QString m_storeProblem;
};
