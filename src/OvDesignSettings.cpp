#include "OvDesignSettings.h"

#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvTypes.h"
#include "rtl/Classes.h"
#include "rtl/IniFiles.h"
#include "rtl/Registry.h"
#include "rtl/SysUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace {

const QString RegistryKey = QStringLiteral("Software\\Orvanta");
const QString RootDirValue = QStringLiteral("RootDir");
const QString IniName = QStringLiteral("orvlib.ini");

const QString SQLEditorSection = QStringLiteral("SQLEditor");
const QString RecentSection = QStringLiteral("RecentDatabases");
const QString MaxCountKey = QStringLiteral("MaxCount");
const QString ParamsSection = QStringLiteral("TOvDatabase_Params");
const QString DatabaseSection = QStringLiteral("TOvDatabase");

constexpr int DefaultMaxDbCount = 8;

// "Item" and the index in at least two digits: Item00, Item07, Item12, Item100.
QString recentItemKey(int Index)
{
    return QString::asprintf("Item%.2d", Index);
}

// The index whose key (recentItemKey) Key is, letter case ignored, or -1.
int recentItemIndex(QStringView Key)
{
    if (!Key.startsWith(QLatin1String("Item"), Qt::CaseInsensitive))
        return -1;
    // As written: two digits or more, a leading zero only in two. More than
    // nine are past any list a file holds.
    const QStringView digits = Key.sliced(4);
    if (digits.size() < 2 || digits.size() > 9 || (digits.size() > 2 && digits[0] == u'0'))
        return -1;
    int index = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        index = index * 10 + (c.unicode() - u'0');
    }
    return index;
}

// The root directory named in the current user's registry, or "." when the
// key, the value or the directory it names does not exist, or the store
// cannot be read (Problem then says why).
QString readRootDir(QString &Problem)
{
    QString dir;
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (reg.OpenKeyReadOnly(RegistryKey)) {
        dir = reg.ReadString(RootDirValue);
        reg.CloseKey();
    }
    Problem = reg.StoreProblem();
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
    FRootDir = readRootDir(FRegistryProblem);
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

QString TDesignSettings::Notice()
{
    QStringList problems;
    if (!FRegistryProblem.isEmpty())
        problems << FRegistryProblem;
    FIniFile->SectionExists(DatabaseSection); // one read, to learn whether the file is usable
    if (!FIniFile->ReadProblem().isEmpty())
        problems << QStringLiteral("the ini file cannot be used: %1").arg(FIniFile->ReadProblem());
    if (problems.isEmpty())
        return {};
    return QStringLiteral("Design settings: %1. Settings are read from and written to %2.")
        .arg(problems.join(QStringLiteral("; ")), QDir::toNativeSeparators(IniFileName()));
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
    // One read of the file for the whole list, however long; a key repeated
    // (in any letter case) counts once, as first written.
    const QList<std::pair<QString, QString>> entries = FIniFile->ReadSectionEntries(RecentSection);
    QString maxCount;
    // The list runs from the first item to the first gap: an index past the
    // number of entries is never reached.
    std::vector<QString> items(size_t(entries.size()));
    for (const auto &[key, value] : entries) {
        if (key.compare(MaxCountKey, Qt::CaseInsensitive) == 0)
            maxCount = value;
        else if (const int index = recentItemIndex(key); index >= 0 && size_t(index) < items.size())
            items[size_t(index)] = value;
    }
    FMaxDbCount = StrToIntDef(maxCount, 0);
    if (FMaxDbCount == 0)
        FMaxDbCount = DefaultMaxDbCount;
    // A gap ends the list; a negative maximum loads nothing.
    for (int i = 0; i < FMaxDbCount && size_t(i) < items.size(); ++i) {
        if (items[size_t(i)].isEmpty())
            break;
        FRecentDatabases->Add(items[size_t(i)]);
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
    const QString name = RemoteDatabaseWithoutPassword(S);
    if (Trim(name).isEmpty())
        return;
    const int found = FRecentDatabases->IndexOf(name);
    if (found < 0)
        FRecentDatabases->Insert(0, name);
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
        // failure leaves the stored list as it was. A name the file cannot
        // hold is left out, and the items after it move up: a gap would end
        // the list at the next load.
        QList<std::pair<QString, QString>> entries;
        for (int i = 0; i < FRecentDatabases->Count(); ++i) {
            const QString name = FRecentDatabases->Strings(i);
            const QString key = recentItemKey(int(entries.size()));
            if (IniDocument::whyNotStorable(RecentSection, key, name).isEmpty())
                entries.append({key, name});
        }
        if (FMaxDbCount > 0 && FMaxDbCount != DefaultMaxDbCount)
            entries.append({MaxCountKey, QString::number(FMaxDbCount)});
        FIniFile->ReplaceSection(RecentSection, entries);
    } catch (...) {
        // Called while the package unloads, where nobody could show an error.
    }
}
