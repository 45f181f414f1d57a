#pragma once

#include "orvlib/OvTypes.h"

#include <QString>

#include <memory>

class TIniFile;
class TStrings;
class TStringList;

// The settings the package keeps between loads of the environment: recently
// used remote databases, default connection parameters, the default server
// type and the switch of the package's own SQL property editor.
//
// The root directory comes from the current user's registry once; everything
// else lives in "orvlib.ini" in that directory and is loaded lazily, each
// group on its first use. Every write reaches the file at once, except the
// recent list, which only SaveAll writes.
class TDesignSettings
{
public:
    TDesignSettings();
    ~TDesignSettings();
    TDesignSettings(const TDesignSettings &) = delete;
    TDesignSettings &operator=(const TDesignSettings &) = delete;

    // The settings' own lists, not copies.
    TStrings *RecentDatabases();
    TStrings *DbParams();
    QString RootDir();
    bool SQLEditor();

    // Makes S the most recent entry; changes memory only. A password written
    // into S (a connection string or URI) is left out: the history is shown
    // in a drop-down and stored in a plain file.
    void AddLastUsedDatabase(const QString &S);
    TOvServerType ReadDefaultServerType();
    void WriteDefaultServerType(TOvServerType Value);
    void SaveDbParams(TStrings *List);
    // Writes the recent list; failures are dropped (called while unloading).
    // A name the ini file cannot hold (a line break) is left out, not the list.
    void SaveAll();

    // The ini file in use.
    QString IniFileName() const;
    // Why the settings may not be where the user expects them, and where they
    // are: the registry store or the ini file could not be read. Empty when
    // both were fine (or simply missing).
    QString Notice();

private:
    void LoadRecentDatabases();

    QString FRootDir;
    QString FRegistryProblem;
    std::unique_ptr<TIniFile> FIniFile;
    std::unique_ptr<TStringList> FRecentDatabases;
    int FMaxDbCount = 0;
    std::unique_ptr<TStringList> FDbParams;
    TBool3State FSQLEditor = TBool3State::Unknown;
};
