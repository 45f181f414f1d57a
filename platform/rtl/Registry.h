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
// leading or trailing backslashes. Keys are only ever opened for reading:
// nothing here creates or writes the store.
class TRegistry
{
public:
    TRegistry();
    ~TRegistry();

    HKEY RootKey() const { return m_rootKey; }
    void SetRootKey(HKEY Value) { m_rootKey = Value; }

    // True when the key exists; it becomes the current key. A store that
    // cannot be read raises ERegistryException with its path and the reason.
    bool OpenKeyReadOnly(const QString &Key);
    bool KeyExists(const QString &Key);
    void CloseKey();
    QString CurrentPath() const { return m_currentPath; }

    bool ValueExists(const QString &Name) const;
    // The value of Name in the current key; empty when it does not exist.
    QString ReadString(const QString &Name) const;

    // Where the store lives; an override (for tests and the designer's command
    // line) takes precedence over the XDG location until cleared with "".
    static QString storePath();
    static void setStorePathOverride(const QString &Path);

private:
    static QString normalizeKey(const QString &Key);
    void loadStore();

    HKEY m_rootKey = HKEY_CURRENT_USER;
    QString m_currentPath;
    std::unique_ptr<IniDocument> m_store;
};
