#include "orvlib/OvSession.h"
#include "OvPrivate.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

namespace ovlib {

QList<TOvDatabase *> &allDatabases()
{
    static QList<TOvDatabase *> list;
    return list;
}

bool matchesPattern(const QString &Name, const QString &Pattern)
{
    if (Pattern.isEmpty() || Pattern == QLatin1String("*"))
        return true;
    // Two-row dynamic programming over the pattern: linear memory, no regex
    // engine, every character but "*" and "?" literal.
    const qsizetype n = Name.size(), m = Pattern.size();
    std::vector<char> prev(m + 1, 0), cur(m + 1, 0);
    prev[0] = 1;
    for (qsizetype j = 1; j <= m; ++j)
        prev[j] = prev[j - 1] && Pattern.at(j - 1) == QLatin1Char('*');
    for (qsizetype i = 1; i <= n; ++i) {
        cur[0] = 0;
        const QChar c = Name.at(i - 1).toCaseFolded();
        for (qsizetype j = 1; j <= m; ++j) {
            const QChar p = Pattern.at(j - 1);
            if (p == QLatin1Char('*'))
                cur[j] = cur[j - 1] || prev[j];
            else
                cur[j] = prev[j - 1] && (p == QLatin1Char('?') || p.toCaseFolded() == c);
        }
        std::swap(prev, cur);
    }
    return prev[m] != 0;
}

} // namespace ovlib

// --- TOvSessionList -----------------------------------------------------------

TOvSessionList::TOvSessionList() = default;

TOvSessionList &Sessions()
{
    // Never destroyed: components of any lifetime may still unregister.
    static TOvSessionList *list = [] {
        auto *l = new TOvSessionList;
        l->m_default = new TOvSession(TOvSession::DefaultSessionTag{});
        return l;
    }();
    return *list;
}

TOvSession *Session()
{
    return Sessions().m_default;
}

QList<TOvSession *> TOvSessionList::visible() const
{
    QList<TOvSession *> result{m_default};
    for (TOvSession *s : m_sessions) {
        if (!s->SessionName().trimmed().isEmpty())
            result << s;
    }
    return result;
}

int TOvSessionList::GetCount() const
{
    return static_cast<int>(visible().size());
}

TOvSession *TOvSessionList::GetSession(int Index) const
{
    const QList<TOvSession *> list = visible();
    if (Index < 0 || Index >= list.size())
        throw EListError(QStringLiteral("Session index out of bounds (%1)").arg(Index));
    return list.at(Index);
}

TOvSession *TOvSessionList::FindSession(const QString &Name) const
{
    const QString name = Name.trimmed();
    if (name.isEmpty())
        return m_default;
    for (TOvSession *s : visible()) {
        if (SameText(s->SessionName().trimmed(), name))
            return s;
    }
    return nullptr;
}

TOvSession *TOvSessionList::GetSessionByName(const QString &Name) const
{
    if (TOvSession *s = FindSession(Name))
        return s;
    throw Exception(SSessionNotFound().arg(Name));
}

// --- TOvSession ---------------------------------------------------------------

TOvSession::TOvSession(QObject *AOwner)
    : QObject(AOwner)
{
    Sessions().m_sessions.append(this);
}

TOvSession::TOvSession(DefaultSessionTag)
    : m_sessionName(QStringLiteral("Default"))
{
    setObjectName(QStringLiteral("Session"));
}

TOvSession::~TOvSession()
{
    Sessions().m_sessions.removeOne(this);
}

void TOvSession::SetSessionName(const QString &Value)
{
    if (IsDefault())
        return; // the default session keeps its name
    m_sessionName = Value;
}

bool TOvSession::IsDefault() const
{
    return Session() == this;
}

QList<TOvDatabase *> TOvSession::Databases() const
{
    QList<TOvDatabase *> result;
    for (TOvDatabase *db : std::as_const(ovlib::allDatabases())) {
        if (Sessions().FindSession(db->SessionName()) == this)
            result << db;
    }
    return result;
}

TOvDatabase *TOvSession::FindDatabase(const QString &DatabaseName) const
{
    const QString name = DatabaseName.trimmed();
    if (name.isEmpty())
        return nullptr;
    for (TOvDatabase *db : Databases()) {
        if (SameText(db->DatabaseName().trimmed(), name))
            return db;
    }
    return nullptr;
}

TOvDatabase *TOvSession::OpenDatabase(const QString &DatabaseName)
{
    if (DatabaseName.trimmed().isEmpty())
        throw Exception(SNoDatabaseName());
    TOvDatabase *db = FindDatabase(DatabaseName);
    if (!db)
        throw Exception(SDatabaseNotFound().arg(DatabaseName));
    db->Open();
    return db;
}

template<class F>
void TOvSession::withDatabase(const QString &DatabaseName, F Action)
{
    if (DatabaseName.trimmed().isEmpty())
        return; // no database chosen yet: nothing to list
    TOvDatabase *db = FindDatabase(DatabaseName);
    if (!db)
        throw Exception(SDatabaseNotFound().arg(DatabaseName));
    const bool wasConnected = db->Connected();
    db->Open();
    struct Closer
    {
        TOvDatabase *db;
        bool close;
        ~Closer()
        {
            if (close && db->Connected())
                db->Close();
        }
    } closer{db, !wasConnected && !(m_keepConnections && db->KeepConnection())};
    Action(*db);
}

void TOvSession::GetDatabaseNames(TStrings *List) const
{
    TStringList names;
    names.SetSorted(true);
    names.SetDuplicates(TDuplicates::dupIgnore);
    for (TOvDatabase *db : Databases()) {
        if (!db->DatabaseName().trimmed().isEmpty())
            names.Add(db->DatabaseName());
    }
    List->Assign(names);
}

void TOvSession::GetTableNames(const QString &DatabaseName, const QString &Pattern,
                               bool SystemTables, TStrings *List)
{
    QStringList names;
    withDatabase(DatabaseName, [&](TOvDatabase &db) {
        names = db.Driver().MatchingTableNames(SystemTables, Pattern);
    });
    List->Assign(names);
}

void TOvSession::GetStoredProcNames(const QString &DatabaseName, TStrings *List)
{
    QStringList names;
    withDatabase(DatabaseName, [&](TOvDatabase &db) { names = db.Driver().ProcedureNames(); });
    List->Assign(names);
}

void TOvSession::GetFieldNames(const QString &DatabaseName, const QString &TableName,
                               TStrings *List)
{
    QStringList names;
    if (!TableName.trimmed().isEmpty()) {
        withDatabase(DatabaseName,
                     [&](TOvDatabase &db) { names = db.Driver().ColumnNames(TableName); });
    }
    List->Assign(names);
}

void TOvSession::GetIndexDefs(const QString &DatabaseName, const QString &TableName,
                              TIndexDefs *Defs)
{
    QList<TOvIndexColumn> columns;
    if (!TableName.trimmed().isEmpty()) {
        withDatabase(DatabaseName,
                     [&](TOvDatabase &db) { columns = db.Driver().IndexColumns(TableName); });
    }
    ovlib::fillIndexDefs(columns, *Defs);
}
