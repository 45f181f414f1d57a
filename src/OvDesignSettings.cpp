#include "OvDesignSettings.h"

#include "orvlib/OvTypes.h"
#include "rtl/Classes.h"
#include "rtl/IniFiles.h"
#include "rtl/Registry.h"
#include "rtl/SysUtils.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString RegistryKey = QStringLiteral("Software\\Orvanta");
const QString RootDirValue = QStringLiteral("RootDir");
const QString IniName = QStringLiteral("orvlib.ini");

const QString SQLEditorSection = QStringLiteral("SQLEditor");
const QString RecentSection = QStringLiteral("RecentDatabases");
const QString ParamsSection = QStringLiteral("TOvDatabase_Params");
const QString DatabaseSection = QStringLiteral("TOvDatabase");

constexpr int DefaultMaxDbCount = 8;

QString recentItemKey(int Index)
{
    return QString::asprintf("Item%.2d", Index);
}

// The root directory named in the current user's registry, or "." when the
// key, the value or the directory it names does not exist.
QString readRootDir()
{
    QString dir;
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (reg.OpenKeyReadOnly(RegistryKey)) {
        dir = reg.ReadString(RootDirValue);
        reg.CloseKey();
    }
    if (!dir.isEmpty() && !QFileInfo(dir).isDir())
        dir.clear();
    return dir.isEmpty() ? QStringLiteral(".") : dir;
}

} // namespace

TDesignSettings::TDesignSettings()
    : FRecentDatabases(std::make_unique<TStringList>())
    , FDbParams(std::make_unique<TStringList>())
{
    FRecentDatabases->SetSorted(false);
    FRootDir = readRootDir();
    // A relative root (the default ".") is taken from the current directory
    // now, so a later change of directory does not move the settings.
    FIniFile = std::make_unique<TIniFile>(
        QDir::cleanPath(QDir::current().absoluteFilePath(FRootDir + PathDelim + IniName)));
}

TDesignSettings::~TDesignSettings()
{
    FIniFile.reset();
    FRecentDatabases.reset();
    FDbParams.reset();
}

QString TDesignSettings::RootDir()
{
    return FRootDir;
}

QString TDesignSettings::IniFileName() const
{
    return FIniFile->FileName();
}

TStrings *TDesignSettings::RecentDatabases()
{
    if (FMaxDbCount == 0)
        LoadRecentDatabases();
    return FRecentDatabases.get();
}

void TDesignSettings::LoadRecentDatabases()
{
    FRecentDatabases->Clear();
    FMaxDbCount = FIniFile->ReadInteger(RecentSection, QStringLiteral("MaxCount"), 0);
    if (FMaxDbCount == 0)
        FMaxDbCount = DefaultMaxDbCount;
    // A gap ends the list; a negative maximum loads nothing.
    for (int i = 0; i < FMaxDbCount; ++i) {
        const QString item = FIniFile->ReadString(RecentSection, recentItemKey(i), QString());
        if (item.isEmpty())
            break;
        FRecentDatabases->Add(item);
    }
}

TStrings *TDesignSettings::DbParams()
{
    // An empty list means "not loaded": an empty section is read again each time.
    if (FDbParams->Count() == 0)
        FIniFile->ReadSectionValues(ParamsSection, *FDbParams);
    return FDbParams.get();
}

bool TDesignSettings::SQLEditor()
{
    if (FSQLEditor == TBool3State::Unknown) {
        const bool enabled = FIniFile->ReadBool(SQLEditorSection, QStringLiteral("Enabled"), true);
        FSQLEditor = enabled ? TBool3State::True : TBool3State::False;
    }
    return FSQLEditor == TBool3State::True;
}

void TDesignSettings::AddLastUsedDatabase(const QString &S)
{
    if (FMaxDbCount == 0)
        LoadRecentDatabases();
    // A blank name is no database anyone can connect to, and stored as an
    // empty item it would end the list at the next load, hiding the entries
    // after it.
    if (Trim(S).isEmpty())
        return;
    const int found = FRecentDatabases->IndexOf(S);
    if (found < 0)
        FRecentDatabases->Insert(0, S);
    else if (found > 0)
        FRecentDatabases->Move(found, 0); // keeps the stored spelling
}

TOvServerType TDesignSettings::ReadDefaultServerType()
{
    const QString name
        = FIniFile->ReadString(DatabaseSection, QStringLiteral("ServerType"), QString());
    return StrToServerTypeDef(name, DefServerType);
}

void TDesignSettings::WriteDefaultServerType(TOvServerType Value)
{
    FIniFile->WriteString(DatabaseSection, QStringLiteral("ServerType"), GetServerTypeName(Value));
    DefServerType = Value;
}

void TDesignSettings::SaveDbParams(TStrings *List)
{
    // One atomic rewrite of the section: a parameter the ini file cannot hold
    // fails the save before anything is written, so the defaults saved before
    // are never lost half-way. The ini form keeps no blanks around a key; a
    // name given twice keeps the value of its first line.
    QList<std::pair<QString, QString>> entries;
    for (int i = 0; i < List->Count(); ++i) {
        const QString name = List->Names(i);
        // A line without "=" has no name to store it under; it stays in memory only.
        if (Trim(name).isEmpty())
            continue;
        entries.append({Trim(name), List->Values(name)});
    }
    FIniFile->ReplaceSection(ParamsSection, entries);
    FDbParams->Assign(*List);
}

void TDesignSettings::SaveAll()
{
    // A list that was never loaded must not erase the stored one.
    if (FRecentDatabases->Count() == 0)
        return;
    try {
        // The whole section is rewritten at once, "MaxCount" included, so a
        // failure leaves the stored list as it was.
        QList<std::pair<QString, QString>> entries;
        for (int i = 0; i < FRecentDatabases->Count(); ++i)
            entries.append({recentItemKey(i), FRecentDatabases->Strings(i)});
        if (FMaxDbCount > 0 && FMaxDbCount != DefaultMaxDbCount)
            entries.append({QStringLiteral("MaxCount"), QString::number(FMaxDbCount)});
        FIniFile->ReplaceSection(RecentSection, entries);
    } catch (...) {
        // Called while the package unloads, where nobody could show an error.
    }
}
