#include "ModuleCheck.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"

#include <QMetaEnum>
#include <QSet>

#include <algorithm>

namespace {

const char *const StatementNames[] = {"RefreshSQL", "ModifySQL", "InsertSQL", "DeleteSQL"};

QString typeName(TFieldType Type)
{
    const char *key = QMetaEnum::fromType<TFieldType>().valueToKey(int(Type));
    return key ? QString::fromLatin1(key).mid(2) : QStringLiteral("Unknown");
}

// Field types that read the same values: a field of one family reads any
// column of the same family; a float field also reads integers. Unknown on
// either side says nothing.
int family(TFieldType Type)
{
    switch (Type) {
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
        return 1;
    case TFieldType::ftFloat:
        return 2;
    case TFieldType::ftString:
    case TFieldType::ftMemo:
        return 3;
    case TFieldType::ftDateTime:
        return 4;
    case TFieldType::ftBoolean:
        return 5;
    case TFieldType::ftBlob:
        return 6;
    case TFieldType::ftUnknown:
        break;
    }
    return 0;
}

bool compatible(TFieldType FieldType, TFieldType ColumnType)
{
    const int f = family(FieldType), c = family(ColumnType);
    return f == 0 || c == 0 || f == c || (f == 2 && c == 1);
}

QString oneLine(const QString &Text)
{
    return Text.simplified();
}

// The finding for E, a failed look-up or prepare on Database: Format with
// Subject as %1 and the error's text as %2, unless the server gave up
// waiting for a lock another session holds, which is no fault of what was
// checked and says whose it is.
QString failure(const Exception &E, const QString &Database, const QString &Format,
                const QString &Subject)
{
    const auto *dbError = dynamic_cast<const EOvDatabaseError *>(&E);
    if (dbError && dbError->Locked())
        return QStringLiteral("not checked: another session holds a lock on database %1 "
                              "(the server gave up waiting: %2)")
            .arg(Database, oneLine(E.Message()));
    return Format.arg(Subject, oneLine(E.Message()));
}

const TFieldDesc *findColumn(const QList<TFieldDesc> &Columns, const QString &Name)
{
    for (const TFieldDesc &c : Columns)
        if (c.Name.compare(Name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

QStringList splitNames(const QString &List)
{
    QStringList names;
    for (const QString &part : List.split(QLatin1Char(';'))) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

QList<TField *> persistentFields(const TOvDataSet *DataSet)
{
    QList<TField *> fields;
    for (QObject *o : DataSet->PersistentFields())
        if (auto *f = qobject_cast<TField *>(o))
            fields << f;
    return fields;
}

// Whether a refused connection asked for a password that was not given.
bool passwordMissing(const QString &ServerMessage)
{
    return ServerMessage.contains(QLatin1String("no password supplied"), Qt::CaseInsensitive);
}

} // namespace

QString severityName(TCheckSeverity Severity)
{
    switch (Severity) {
    case TCheckSeverity::Error:
        return QStringLiteral("error");
    case TCheckSeverity::Warning:
        return QStringLiteral("warning");
    case TCheckSeverity::Info:
        break;
    }
    return QStringLiteral("info");
}

struct TModuleCheck::Connection
{
    QPointer<TOvDatabase> Database;
    std::unique_ptr<TOvDriver> Driver; // null when it could not be reached
    // Catalogue answers, by table name as written (letter case ignored),
    // and descriptions by statement text; read ahead a slice at a time.
    QHash<QString, TOvAnswer<QList<TOvColumnInfo>>> TableColumns;
    QHash<QString, TOvAnswer<QList<TOvIndexColumn>>> Indexes;
    QHash<QString, TOvAnswer<TOvStatementInfo>> Described;

    static QString tableKey(const QString &Table) { return Table.trimmed().toLower(); }

    // The answer read ahead, else asked for now; a refusal raises as the
    // single call would.
    template<class T, class F>
    static const T &answer(QHash<QString, TOvAnswer<T>> &Answers, const QString &Key, F Ask)
    {
        auto it = Answers.constFind(Key);
        if (it == Answers.constEnd()) {
            TOvAnswer<T> asked;
            try {
                asked.Value = Ask();
            } catch (const EOvDatabaseError &e) {
                asked.Error = std::make_shared<EOvDatabaseError>(e);
            }
            it = Answers.insert(Key, asked);
        }
        if (it->Error)
            throw EOvDatabaseError(*it->Error);
        return it->Value;
    }
    const QList<TOvColumnInfo> &columns(const QString &Table)
    {
        return answer(TableColumns, tableKey(Table),
                      [&] { return Driver->Columns(Table.trimmed()); });
    }
    const QList<TOvIndexColumn> &indexes(const QString &Table)
    {
        return answer(Indexes, tableKey(Table),
                      [&] { return Driver->IndexColumns(Table.trimmed()); });
    }
    const TOvStatementInfo &describe(const QString &SQL)
    {
        return answer(Described, SQL, [&] { return DescribeStatement(*Driver, SQL); });
    }

    // Reads ahead, in a few round trips, what the checks of a slice of
    // datasets will ask: the descriptions of Statements and the columns and
    // indexes of Tables. A failure here is left to those checks to meet and
    // report one by one.
    void readAhead(const QStringList &Statements, const QStringList &Tables,
                   const QStringList &IndexedTables)
    {
        try {
            readAheadInto(
                Described, Statements,
                [&](const QStringList &Wanted) { return DescribeStatements(*Driver, Wanted); },
                false);
            readAheadInto(
                TableColumns, Tables,
                [&](const QStringList &Wanted) { return Driver->ColumnsMany(Wanted); }, true);
            readAheadInto(
                Indexes, IndexedTables,
                [&](const QStringList &Wanted) { return Driver->IndexColumnsMany(Wanted); }, true);
        } catch (const Exception &) {
            // the connection failed: each check meets it again
        }
    }
    // Asks for the keys not answered yet, tables by their trimmed names.
    template<class T, class F>
    void readAheadInto(QHash<QString, TOvAnswer<T>> &Answers, const QStringList &Keys, F Ask,
                       bool ByTable)
    {
        QStringList wanted, keys;
        QSet<QString> seen;
        for (const QString &k : Keys) {
            const QString key = ByTable ? tableKey(k) : k;
            if (!Answers.contains(key) && !seen.contains(key)) {
                seen.insert(key);
                keys << key;
                wanted << (ByTable ? k.trimmed() : k);
            }
        }
        if (wanted.isEmpty())
            return;
        const std::vector<TOvAnswer<T>> answers = Ask(wanted);
        for (qsizetype i = 0; i < keys.size() && i < qsizetype(answers.size()); ++i)
            Answers.insert(keys.at(i), answers[i]);
    }
};

TModuleCheck::TModuleCheck(QObject *Root, const TFormSourceMap *Sources)
    : m_root(Root)
    , m_sources(Sources)
{
    for (QObject *o : Root->findChildren<QObject *>()) {
        if (!o->objectName().isEmpty())
            m_components.append(o);
    }
    // The structure in slices of components, so that no step of a large
    // module keeps a window from answering for long; then the master chains.
    constexpr int StructureSlice = 500;
    for (int from = 0; from < m_components.size(); from += StructureSlice)
        m_steps.push_back([this, from] { checkStructure(from, from + StructureSlice); });
    m_steps.push_back([this] { checkMasterCycles(); });
    // The datasets in slices: what the checks of a slice ask of a server is
    // read ahead in one step, a few round trips whatever the slice's size,
    // then each dataset is checked in a step of its own.
    constexpr int DataSetSlice = 500;
    QList<QPointer<TOvDataSet>> dataSets;
    for (const QPointer<QObject> &c : std::as_const(m_components))
        if (auto *ds = qobject_cast<TOvDataSet *>(c.data()))
            dataSets.append(ds);
    for (qsizetype from = 0; from < dataSets.size(); from += DataSetSlice) {
        const QList<QPointer<TOvDataSet>> slice = dataSets.mid(from, DataSetSlice);
        m_steps.push_back([this, slice] { readAhead(slice); });
        for (const QPointer<TOvDataSet> &guarded : slice) {
            m_steps.push_back([this, guarded] {
                if (guarded)
                    checkDataSet(guarded);
            });
        }
    }
}

TModuleCheck::~TModuleCheck() = default;

void TModuleCheck::SetRemoteDatabase(const QString &Database, const QString &Remote)
{
    for (const QPointer<QObject> &c : std::as_const(m_components)) {
        auto *db = qobject_cast<TOvDatabase *>(c.data());
        if (db && db->objectName().compare(Database, Qt::CaseInsensitive) == 0) {
            m_remotes.insert(db, Remote);
            return;
        }
    }
    throw Exception(QStringLiteral("The module has no database component named %1").arg(Database));
}

void TModuleCheck::Step()
{
    if (Done())
        return;
    m_steps[m_next++]();
    if (Done()) {
        // Nothing stays connected once the check is over.
        m_connections.clear();
        m_columns.clear();
        m_probed.clear();
    }
}

void TModuleCheck::Run()
{
    while (!Done())
        Step();
}

int TModuleCheck::Count(TCheckSeverity Severity) const
{
    int n = 0;
    for (const TCheckProblem &p : m_problems)
        n += p.Severity == Severity;
    return n;
}

QString TModuleCheck::Summary() const
{
    const auto counted = [](int N, const char *One, const char *Many) {
        return QStringLiteral("%1 %2").arg(N).arg(QLatin1String(N == 1 ? One : Many));
    };
    return QStringLiteral("%1, %2, %3 info; %4 of %5")
        .arg(counted(Count(TCheckSeverity::Error), "error", "errors"),
             counted(Count(TCheckSeverity::Warning), "warning", "warnings"))
        .arg(Count(TCheckSeverity::Info))
        .arg(m_checked)
        .arg(counted(m_checked + m_unchecked, "dataset checked", "datasets checked"));
}

void TModuleCheck::add(QObject *Component, const QString &Property, TCheckSeverity Severity,
                       const QString &Message)
{
    TCheckProblem p;
    p.Component = Component;
    p.ComponentName = Component->objectName();
    p.Property = Property;
    p.Severity = Severity;
    p.Message = Message;
    if (m_sources) {
        const auto source = m_sources->constFind(Component);
        if (source != m_sources->constEnd())
            p.Line = source->PropertyLine(Property);
    }
    m_problems.append(p);
}

// --- The structure: what --tree flags, said per property ---------------------------

void TModuleCheck::checkStructure(int From, int To)
{
    for (int i = From; i < To && i < m_components.size(); ++i) {
        QObject *o = m_components.at(i).data();
        if (!o)
            continue;
        if (auto *session = qobject_cast<TOvSession *>(o)) {
            if (session->SessionName().trimmed().isEmpty())
                add(o, QStringLiteral("SessionName"), TCheckSeverity::Error,
                    QStringLiteral("the session has no name, so nothing can name it"));
        } else if (auto *db = qobject_cast<TOvDatabase *>(o)) {
            if (db->DatabaseName().trimmed().isEmpty())
                add(o, QStringLiteral("DatabaseName"), TCheckSeverity::Error,
                    QStringLiteral("the database has no name, so no dataset can name it"));
            if (!Sessions().FindSession(db->SessionName()))
                add(o, QStringLiteral("SessionName"), TCheckSeverity::Error,
                    QStringLiteral("names session %1, which no session component provides")
                        .arg(db->SessionName()));
        } else if (auto *ds = qobject_cast<TOvDataSet *>(o)) {
            TOvSession *session = Sessions().FindSession(ds->SessionName());
            if (!session)
                add(o, QStringLiteral("SessionName"), TCheckSeverity::Error,
                    QStringLiteral("names session %1, which no session component provides")
                        .arg(ds->SessionName()));
            if (ds->DatabaseName().trimmed().isEmpty())
                add(o, QStringLiteral("DatabaseName"), TCheckSeverity::Error,
                    QStringLiteral("names no database"));
            else if (session && !session->FindDatabase(ds->DatabaseName()))
                add(o, QStringLiteral("DatabaseName"), TCheckSeverity::Error,
                    QStringLiteral("names database %1, which no database component provides")
                        .arg(ds->DatabaseName()));
            if (auto *q = qobject_cast<TOvQuery *>(o); q && q->StatementText().trimmed().isEmpty())
                add(o, QStringLiteral("SQL"), TCheckSeverity::Error,
                    QStringLiteral("the query has no SQL"));
            if (auto *t = qobject_cast<TOvTable *>(o); t && t->TableName().trimmed().isEmpty())
                add(o, QStringLiteral("TableName"), TCheckSeverity::Error,
                    QStringLiteral("names no table"));
            if (auto *sp = qobject_cast<TOvStoredProc *>(o);
                sp && sp->StoredProcName().trimmed().isEmpty())
                add(o, QStringLiteral("StoredProcName"), TCheckSeverity::Error,
                    QStringLiteral("names no stored procedure"));
        } else if (auto *update = qobject_cast<TOvUpdateSQL *>(o)) {
            if (!update->DataSet())
                add(o, QStringLiteral("DataSet"), TCheckSeverity::Warning,
                    QStringLiteral("the update object serves no dataset"));
            if (update->ModifySQL()->Text().trimmed().isEmpty()
                && update->InsertSQL()->Text().trimmed().isEmpty()
                && update->DeleteSQL()->Text().trimmed().isEmpty())
                add(o, QStringLiteral("ModifySQL"), TCheckSeverity::Warning,
                    QStringLiteral("the update object has no modify, insert or delete statement"));
        } else if (auto *field = qobject_cast<TField *>(o)) {
            if (!field->DataSet())
                add(o, QStringLiteral("DataSet"), TCheckSeverity::Error,
                    QStringLiteral("the field belongs to no dataset"));
        }
    }
}

void TModuleCheck::checkMasterCycles()
{
    // Tables whose chain was seen to end: no cycle passes through them, so a
    // walk that reaches one stops there and a long chain is walked once.
    QSet<const TOvTable *> ending;
    for (const QPointer<QObject> &c : std::as_const(m_components)) {
        auto *table = qobject_cast<TOvTable *>(c.data());
        if (!table || ending.contains(table))
            continue;
        // Follows the chain from the table; a chain that loops without
        // coming back to it is reported on the tables of that loop.
        QList<TOvTable *> chain{table};
        QSet<const TOvTable *> seen{table};
        bool ends = false;
        for (TOvTable *t = table;;) {
            TDataSource *source = t->MasterSource();
            auto *master = source ? qobject_cast<TOvTable *>(source->DataSet()) : nullptr;
            if (!master || ending.contains(master)) {
                ends = true;
                break;
            }
            if (master == table) {
                QStringList path;
                for (const TOvTable *link : std::as_const(chain))
                    path << link->objectName();
                path << table->objectName();
                add(table, QStringLiteral("MasterSource"), TCheckSeverity::Error,
                    QStringLiteral("the master chain comes back to the table: %1")
                        .arg(path.join(QStringLiteral(" -> "))));
                break;
            }
            if (seen.contains(master))
                break;
            seen.insert(master);
            chain << master;
            t = master;
        }
        if (ends)
            for (const TOvTable *link : std::as_const(chain))
                ending.insert(link);
    }
}

// --- Connections -------------------------------------------------------------------

TModuleCheck::Connection *TModuleCheck::reach(TOvDataSet *DataSet)
{
    TOvSession *session = Sessions().FindSession(DataSet->SessionName());
    TOvDatabase *db = session ? session->FindDatabase(DataSet->DatabaseName()) : nullptr;
    if (!db)
        return nullptr; // reported with the structure
    auto it = m_connections.constFind(db);
    if (it == m_connections.constEnd())
        it = m_connections.insert(db, std::shared_ptr<Connection>(connect(db)));
    return it->get();
}

void TModuleCheck::readAhead(const QList<QPointer<TOvDataSet>> &DataSets)
{
    struct Wanted
    {
        QStringList Statements, Tables, IndexedTables;
    };
    QHash<Connection *, Wanted> wanted;
    for (const QPointer<TOvDataSet> &ds : DataSets) {
        Connection *conn = ds ? reach(ds) : nullptr;
        if (!conn || !conn->Driver)
            continue;
        Wanted &w = wanted[conn];
        if (auto *query = qobject_cast<TOvQuery *>(ds.data())) {
            if (!query->StatementText().trimmed().isEmpty())
                w.Statements << query->StatementText();
        } else if (auto *table = qobject_cast<TOvTable *>(ds.data())) {
            if (!table->TableName().trimmed().isEmpty()) {
                w.Tables << table->TableName();
                if (!table->IndexName().trimmed().isEmpty())
                    w.IndexedTables << table->TableName();
            }
        }
        if (auto *update = qobject_cast<TOvUpdateSQL *>(ds->UpdateObject()))
            for (int i = 0; i < 4; ++i)
                if (!update->GetSQLIndex(i)->Text().trimmed().isEmpty())
                    w.Statements << update->GetSQLIndex(i)->Text();
    }
    for (auto it = wanted.begin(); it != wanted.end(); ++it)
        it.key()->readAhead(it->Statements, it->Tables, it->IndexedTables);
}

TModuleCheck::Connection *TModuleCheck::connectionFor(TOvDataSet *DataSet)
{
    Connection *conn = reach(DataSet);
    if (!conn)
        return nullptr;
    if (!conn->Driver) {
        add(DataSet, QStringLiteral("DatabaseName"), TCheckSeverity::Info,
            QStringLiteral("not checked: database %1 could not be reached")
                .arg(conn->Database ? conn->Database->DatabaseName() : DataSet->DatabaseName()));
        return nullptr;
    }
    return conn;
}

TModuleCheck::Connection *TModuleCheck::connect(TOvDatabase *Database)
{
    auto conn = std::make_unique<Connection>();
    conn->Database = Database;
    const QString remote = m_remotes.value(Database, Database->RemoteDatabase());
    try {
        TStringList params;
        Database->GetEffectiveParams(params);
        // The check never creates a database and reads SQLite files
        // read-only; a PostgreSQL session is made read-only once open. (MariaDB
        // refuses even to prepare a change in a read-only session; the check
        // only prepares there, which runs nothing.)
        for (int i = params.Count() - 1; i >= 0; --i) {
            if (params.Names(i).trimmed().compare(QLatin1String("CREATE"), Qt::CaseInsensitive)
                == 0)
                params.Delete(i);
        }
        if (Database->ServerType() == TOvServerType::stSQLite)
            params.SetValues(QStringLiteral("READONLY"), QStringLiteral("1"));
        // The login given in this run, where there was one.
        for (const QString &entry : Database->SessionLogin()) {
            const qsizetype eq = entry.indexOf(u'=');
            params.SetValues(entry.left(eq), entry.mid(eq + 1));
        }
        std::unique_ptr<TOvDriver> driver = CreateDriver(Database->ServerType());
        try {
            driver->Connect(remote, params);
        } catch (const EOvDatabaseError &e) {
            // A password nobody gave: the person is asked, once.
            if (!m_login || !passwordMissing(e.ServerMessage()) || !m_login(Database, params))
                throw;
            driver = CreateDriver(Database->ServerType());
            driver->Connect(remote, params);
            Database->SetSessionLogin(params);
        }
        if (Database->ServerType() == TOvServerType::stPostgreSQL)
            driver->Execute(QStringLiteral("set session characteristics as transaction read only"),
                            {});
        conn->Driver = std::move(driver);
    } catch (const Exception &e) {
        const auto *dbError = dynamic_cast<const EOvDatabaseError *>(&e);
        const QString server = dbError ? dbError->ServerMessage() : e.Message();
        if (passwordMissing(server))
            add(Database, QStringLiteral("Params"), TCheckSeverity::Error,
                QStringLiteral("database %1 needs a password and there is nobody to ask for it: "
                               "give it in PGPASSWORD, in the password file (~/.pgpass, or the "
                               "file PGPASSFILE names), as PASSWORD=... in the Params of %1, or "
                               "in a connection string with --remote-database %1=...; its "
                               "components were not checked")
                    .arg(Database->DatabaseName()));
        else
            add(Database, QStringLiteral("RemoteDatabase"), TCheckSeverity::Error,
                QStringLiteral("database %1 (%2) could not be reached: %3; its components were "
                               "not checked")
                    .arg(Database->DatabaseName(), remote, oneLine(e.Message())));
    }
    return conn.release();
}

// --- Datasets ----------------------------------------------------------------------

void TModuleCheck::checkDataSet(TOvDataSet *DataSet)
{
    Connection *conn = connectionFor(DataSet);
    if (!conn) {
        ++m_unchecked;
        return;
    }
    ++m_checked;
    const Columns &cols = columnsOf(DataSet, true);
    if (qobject_cast<TOvStoredProc *>(DataSet))
        checkStoredProc(DataSet, *conn);
    checkFields(DataSet, cols);
    checkUpdateObject(DataSet, *conn, cols);
    if (qobject_cast<TOvTable *>(DataSet))
        checkTableLinks(DataSet, *conn, cols);
}

const TModuleCheck::Columns &TModuleCheck::columnsOf(TOvDataSet *DataSet, bool Report)
{
    // A master described for its detail, before its own step, is described
    // again in that step, so that what is wrong with it is reported on it.
    auto it = m_columns.constFind(DataSet);
    if (it != m_columns.constEnd())
        return *it;
    if (!Report) {
        auto probed = m_probed.constFind(DataSet);
        if (probed != m_probed.constEnd())
            return *probed;
    }
    Columns cols;
    Connection *conn = reach(DataSet);
    if (conn && conn->Driver)
        cols = describeDataSet(DataSet, *conn, Report);
    return *(Report ? m_columns : m_probed).insert(DataSet, cols);
}

TModuleCheck::Columns TModuleCheck::describeDataSet(TOvDataSet *DataSet, Connection &Conn,
                                                    bool Report)
{
    Columns cols;
    if (auto *query = qobject_cast<TOvQuery *>(DataSet)) {
        // The text the runtime would send: macros expanded.
        const QString text = query->StatementText();
        if (text.trimmed().isEmpty())
            return cols;
        try {
            const TOvStatementInfo &info = Conn.describe(text);
            cols.Known = true;
            cols.Fields = info.Fields;
            if (Report) {
                for (const QString &name : info.ParamNames)
                    if (!query->Params()->FindParam(name))
                        add(DataSet, QStringLiteral("Params"), TCheckSeverity::Error,
                            QStringLiteral("the SQL names parameter :%1, which Params does not "
                                           "hold")
                                .arg(name));
            }
        } catch (const Exception &e) {
            if (Report)
                add(DataSet, QStringLiteral("SQL"), TCheckSeverity::Error,
                    failure(e, DataSet->DatabaseName(),
                            QStringLiteral("the SQL does not prepare on database %1: %2"),
                            DataSet->DatabaseName()));
        }
    } else if (auto *table = qobject_cast<TOvTable *>(DataSet)) {
        const QString name = table->TableName();
        if (name.trimmed().isEmpty())
            return cols;
        try {
            const QList<TOvColumnInfo> &columns = Conn.columns(name);
            if (columns.isEmpty()) {
                if (Report)
                    add(DataSet, QStringLiteral("TableName"), TCheckSeverity::Error,
                        QStringLiteral("no table %1 in database %2")
                            .arg(name, DataSet->DatabaseName()));
                return cols;
            }
            cols.Known = true;
            for (const TOvColumnInfo &c : columns) {
                TFieldDesc f;
                f.Name = c.Name;
                f.DataType = c.DataType;
                cols.Fields << f;
            }
        } catch (const Exception &e) {
            if (Report)
                add(DataSet, QStringLiteral("TableName"), TCheckSeverity::Error,
                    failure(e, DataSet->DatabaseName(),
                            QStringLiteral("table %1 could not be read: %2"), name));
        }
    }
    return cols;
}

void TModuleCheck::checkFields(TOvDataSet *DataSet, const Columns &Cols)
{
    const QList<TField *> fields = persistentFields(DataSet);
    if (fields.isEmpty() || !Cols.Known)
        return;
    QSet<QString> matched;
    for (TField *f : fields) {
        const TFieldDesc *column = findColumn(Cols.Fields, f->FieldName());
        if (!column) {
            add(f, QStringLiteral("FieldName"), TCheckSeverity::Error,
                QStringLiteral("%1 has no column %2").arg(DataSet->objectName(), f->FieldName()));
            continue;
        }
        matched.insert(column->Name.toLower());
        if (!compatible(f->DataType(), column->DataType))
            add(f, QStringLiteral("DataType"), TCheckSeverity::Error,
                QStringLiteral("the field is %1, column %2 of %3 is %4")
                    .arg(typeName(f->DataType()), column->Name, DataSet->objectName(),
                         typeName(column->DataType)));
    }
    QStringList unread;
    for (const TFieldDesc &c : Cols.Fields)
        if (!matched.contains(c.Name.toLower()))
            unread << c.Name;
    if (!unread.isEmpty())
        add(DataSet, QString(), TCheckSeverity::Info,
            QStringLiteral("no persistent field reads column%1 %2")
                .arg(unread.size() > 1 ? QStringLiteral("s") : QString(),
                     unread.join(QStringLiteral(", "))));
}

void TModuleCheck::checkUpdateObject(TOvDataSet *DataSet, Connection &Conn, const Columns &Cols)
{
    auto *update = qobject_cast<TOvUpdateSQL *>(DataSet->UpdateObject());
    if (!update)
        return;
    // The names a parameter may take: the dataset's fields.
    QStringList fieldNames;
    const QList<TField *> fields = persistentFields(DataSet);
    for (TField *f : fields)
        fieldNames << f->FieldName();
    if (fields.isEmpty())
        for (const TFieldDesc &c : Cols.Fields)
            fieldNames << c.Name;
    const bool fieldsKnown = !fields.isEmpty() || Cols.Known;
    for (int i = 0; i < 4; ++i) {
        const QString text = update->GetSQLIndex(i)->Text();
        if (text.trimmed().isEmpty())
            continue;
        const QString property = QLatin1String(StatementNames[i]);
        if (fieldsKnown) {
            TParams params;
            for (const QString &name : params.ParseSQL(text, false)) {
                QString field = name;
                if (field.startsWith(QLatin1String("OLD_"), Qt::CaseInsensitive))
                    field = field.mid(4);
                if (!fieldNames.contains(field, Qt::CaseInsensitive)
                    && !fieldNames.contains(name, Qt::CaseInsensitive))
                    add(update, property, TCheckSeverity::Error,
                        QStringLiteral("parameter :%1 names no field of %2")
                            .arg(name, DataSet->objectName()));
            }
        }
        // A key column that is gone makes the statement fail to prepare.
        try {
            Conn.describe(text);
        } catch (const Exception &e) {
            add(update, property, TCheckSeverity::Error,
                failure(e, DataSet->DatabaseName(),
                        QStringLiteral("the statement does not prepare on database %1: %2"),
                        DataSet->DatabaseName()));
        }
    }
}

void TModuleCheck::checkTableLinks(TOvDataSet *DataSet, Connection &Conn, const Columns &Cols)
{
    auto *table = static_cast<TOvTable *>(DataSet);
    const QString tableName = table->TableName().trimmed();
    if (Cols.Known && !table->IndexName().trimmed().isEmpty()) {
        const QString wanted = table->IndexName().trimmed();
        // The primary key also answers to the name index lists give it.
        const bool primary = wanted.compare(SPrimary(), Qt::CaseInsensitive) == 0;
        bool found = false;
        try {
            for (const TOvIndexColumn &c : Conn.indexes(tableName)) {
                if (c.IndexName.compare(wanted, Qt::CaseInsensitive) == 0
                    || (primary && (c.IndexType & itPrimary)))
                    found = true;
            }
            if (!found)
                add(DataSet, QStringLiteral("IndexName"), TCheckSeverity::Error,
                    QStringLiteral("table %1 has no index %2").arg(tableName, wanted));
        } catch (const Exception &e) {
            add(DataSet, QStringLiteral("IndexName"), TCheckSeverity::Error,
                QStringLiteral("the indexes of table %1 could not be read: %2")
                    .arg(tableName, oneLine(e.Message())));
        }
    }
    if (Cols.Known) {
        for (const QString &name : splitNames(table->IndexFieldNames()))
            if (!findColumn(Cols.Fields, name))
                add(DataSet, QStringLiteral("IndexFieldNames"), TCheckSeverity::Error,
                    QStringLiteral("table %1 has no column %2").arg(tableName, name));
    }
    const QStringList masterFields = splitNames(table->MasterFields());
    if (masterFields.isEmpty())
        return;
    TDataSource *source = table->MasterSource();
    TDataSet *master = source ? source->DataSet() : nullptr;
    if (!master) {
        add(DataSet, QStringLiteral("MasterSource"), TCheckSeverity::Error,
            QStringLiteral("MasterFields is set, but MasterSource names no master dataset"));
        return;
    }
    QStringList known;
    for (QObject *o : master->PersistentFields())
        if (auto *f = qobject_cast<TField *>(o))
            known << f->FieldName();
    auto *ovMaster = qobject_cast<TOvDataSet *>(master);
    if (known.isEmpty() && ovMaster) {
        const Columns &masterCols = columnsOf(ovMaster, false);
        if (!masterCols.Known)
            return; // reported on the master
        for (const TFieldDesc &c : masterCols.Fields)
            known << c.Name;
    }
    for (const QString &name : masterFields)
        if (!known.contains(name, Qt::CaseInsensitive))
            add(DataSet, QStringLiteral("MasterFields"), TCheckSeverity::Error,
                QStringLiteral("master %1 has no field %2").arg(master->objectName(), name));
}

void TModuleCheck::checkStoredProc(TOvDataSet *DataSet, Connection &Conn)
{
    auto *proc = static_cast<TOvStoredProc *>(DataSet);
    const QString name = proc->StoredProcName().trimmed();
    if (name.isEmpty())
        return;
    TOvDriver &driver = *Conn.Driver;
    QList<TOvProcParamInfo> params;
    try {
        if (!driver.DescribesProcedures() && !driver.ProcedureExists(name))
            throw Exception(QString());
        params = driver.ProcedureParams(name);
    } catch (const Exception &) {
        add(DataSet, QStringLiteral("StoredProcName"), TCheckSeverity::Error,
            QStringLiteral("no stored procedure %1 in database %2")
                .arg(name, DataSet->DatabaseName()));
        return;
    }
    const TParams *stored = proc->Params();
    if (stored->Count() == 0)
        return; // the parameters are read from the server when it is prepared
    auto describe = [](const QString &Name, TParamType Type, TFieldType DataType) {
        const char *dir = QMetaEnum::fromType<TParamType>().valueToKey(int(Type));
        return QStringLiteral("%1 %2 %3")
            .arg(Name, dir ? QString::fromLatin1(dir).mid(2) : QString(), typeName(DataType));
    };
    QStringList mismatches;
    const int n = std::max(int(params.size()), stored->Count());
    for (int i = 0; i < n; ++i) {
        const TParam *s = i < stored->Count() ? stored->Items(i) : nullptr;
        const TOvProcParamInfo *p = i < params.size() ? &params.at(i) : nullptr;
        if (!s) {
            mismatches << QStringLiteral("the procedure has %1, Params does not")
                              .arg(describe(p->Name, p->ParamType, p->DataType));
        } else if (!p) {
            mismatches << QStringLiteral("Params has %1, the procedure does not")
                              .arg(describe(s->Name(), s->ParamType(), s->DataType()));
        } else if ((!p->Name.isEmpty() && s->Name().compare(p->Name, Qt::CaseInsensitive) != 0)
                   || (s->ParamType() != TParamType::ptUnknown && s->ParamType() != p->ParamType)
                   || !compatible(s->DataType(), p->DataType)) {
            mismatches << QStringLiteral("Params has %1 where the procedure has %2")
                              .arg(describe(s->Name(), s->ParamType(), s->DataType()),
                                   describe(p->Name, p->ParamType, p->DataType));
        }
    }
    if (!mismatches.isEmpty())
        add(DataSet, QStringLiteral("Params"), TCheckSeverity::Error,
            QStringLiteral("the parameters of %1 changed: %2")
                .arg(name, mismatches.join(QStringLiteral("; "))));
}
