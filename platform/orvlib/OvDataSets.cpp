#include "orvlib/OvDataSets.h"
#include "OvPrivate.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSQLLexer.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/SysUtils.h"

#include <QScopeGuard>
#include <QSignalBlocker>

namespace {

// SQL with its :name markers rewritten into Driver's placeholders: each
// distinct name (letter case ignored) is one placeholder, numbered in order
// of first appearance; Names receives the names in that order.
QString withPlaceholders(const QString &SQL, const TOvDriver &Driver, QStringList &Names)
{
    QString sql;
    qsizetype copied = 0;
    TOvSQLLexer lexer(SQL);
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        if (t.kind != TOvSQLToken::Param)
            continue;
        qsizetype index = -1;
        for (qsizetype i = 0; i < Names.size() && index < 0; ++i) {
            if (Names.at(i).compare(t.value, Qt::CaseInsensitive) == 0)
                index = i;
        }
        if (index < 0) {
            index = Names.size();
            Names << t.value;
        }
        sql += QStringView(SQL).mid(copied, t.pos - copied);
        sql += Driver.Placeholder(static_cast<int>(index));
        copied = t.pos + t.len;
    }
    sql += QStringView(SQL).mid(copied);
    return sql;
}

} // namespace

ovlib::BoundStatement ovlib::bindParams(const QString &SQL, const TParams *Params,
                                        const TOvDriver &Driver, const QString &Owner)
{
    BoundStatement result;
    QStringList names; // distinct names, in placeholder order
    result.sql = withPlaceholders(SQL, Driver, names);
    for (const QString &name : std::as_const(names)) {
        TParam *p = Params ? Params->FindParam(name) : nullptr;
        if (!p)
            throw Exception(SParamNotFound().arg(name, Owner));
        result.values << p->Value();
    }
    return result;
}

TOvStatementInfo DescribeStatement(TOvDriver &Driver, const QString &SQL)
{
    QStringList names;
    const QString sql = withPlaceholders(SQL, Driver, names);
    TOvStatementInfo info = Driver.Describe(sql);
    info.ParamNames = names;
    return info;
}

std::vector<TOvAnswer<TOvStatementInfo>> DescribeStatements(TOvDriver &Driver,
                                                            const QStringList &SQL)
{
    QStringList texts;
    std::vector<QStringList> names(SQL.size());
    for (qsizetype i = 0; i < SQL.size(); ++i)
        texts << withPlaceholders(SQL.at(i), Driver, names[i]);
    std::vector<TOvAnswer<TOvStatementInfo>> answers = Driver.DescribeMany(texts);
    for (size_t i = 0; i < answers.size(); ++i)
        answers[i].Value.ParamNames = names[i];
    return answers;
}

// --- TOvDataSet ---------------------------------------------------------------

TOvDataSet::TOvDataSet(QObject *AOwner)
    : TDataSet(AOwner)
{}

TOvDataSet::~TOvDataSet()
{
    if (m_updateObject && m_updateObject->m_dataSet == this)
        m_updateObject->m_dataSet = nullptr;
    // Freeing an open (or prepared) dataset releases what opening took, as
    // closing it does: its statement first, then the database it connected,
    // which stays connected only when KeepConnection says so. Nobody hears
    // of it: what listens may look at the parts of a descendant already gone.
    const QSignalBlocker quiet(this);
    try {
        Close();
    } catch (...) {
        // a destructor cannot report; the rows are gone either way
    }
    try {
        DetachDatabase();
    } catch (...) {
        // nor can it report a failed disconnect: the handle is gone either way
    }
}

void TOvDataSet::SetSessionName(const QString &Value)
{
    if (Value == m_sessionName)
        return;
    Close();
    m_sessionName = Value;
}

void TOvDataSet::SetDatabaseName(const QString &Value)
{
    if (Value == m_databaseName)
        return;
    Close();
    m_databaseName = Value;
}

void TOvDataSet::SetUpdateObject(TOvDataSetUpdateObject *Value)
{
    if (Value == m_updateObject)
        return;
    if (m_updateObject && m_updateObject->m_dataSet == this)
        m_updateObject->m_dataSet = nullptr;
    m_updateObject = Value;
    if (Value) {
        if (Value->m_dataSet && Value->m_dataSet != this)
            Value->m_dataSet->m_updateObject = nullptr;
        Value->m_dataSet = this;
    }
}

TOvSession *TOvDataSet::GetDBSession() const
{
    return Sessions().GetSessionByName(m_sessionName);
}

TOvServerType TOvDataSet::ServerType() const
{
    if (m_database)
        return m_database->ServerType();
    if (TOvSession *s = Sessions().FindSession(m_sessionName)) {
        if (TOvDatabase *db = s->FindDatabase(m_databaseName))
            return db->ServerType();
    }
    return DefServerType;
}

bool TOvDataSet::IsObjOwnerSupported() const
{
    return ServerType() != TOvServerType::stSQLite;
}

TOvDatabase *TOvDataSet::AttachDatabase()
{
    if (m_database && m_database->Connected())
        return m_database;
    TOvSession *session = GetDBSession();
    TOvDatabase *db = session->FindDatabase(m_databaseName);
    if (!db)
        throw Exception(m_databaseName.isEmpty() ? SNoDatabaseName()
                                                 : SDatabaseNotFound().arg(m_databaseName));
    const bool wasConnected = db->Connected();
    db->Open();
    m_database = db;
    m_openedDatabase = !wasConnected;
    // A database that disconnects takes its open datasets with it.
    QObject::disconnect(m_disconnectWatch);
    m_disconnectWatch = connect(db, &TOvDatabase::BeforeDisconnect, this, [this] {
        m_openedDatabase = false; // it is closing anyway
        Close();
        DetachDatabase();
    });
    return db;
}

void TOvDataSet::DetachDatabase()
{
    if (!m_database)
        return;
    TOvDatabase *db = m_database;
    QObject::disconnect(m_disconnectWatch);
    m_database = nullptr;
    const bool close = m_openedDatabase && !db->KeepConnection();
    m_openedDatabase = false;
    if (close)
        db->Close();
}

void TOvDataSet::InternalClose()
{
    DetachDatabase();
}

namespace {

// A lock error that names who waited for what.
EOvDatabaseError namedLockError(const EOvDatabaseError &E, const QString &Component,
                                const QString &Database)
{
    return EOvDatabaseError(SLockWait().arg(Component, Database, E.Message()), E.ServerMessage())
        .SetLocked(true);
}

// Called in the handler of E, a database error of a dataset's statement: a
// lock waited for in vain names the dataset and its database (the statement
// is not at fault); any other error passes on naming the place of the
// statement's text.
[[noreturn]] void rethrowStatementError(EOvDatabaseError &E, const QString &Place,
                                        const QString &Component, const QString &Database)
{
    if (E.Locked())
        throw namedLockError(E, Component, Database);
    E.SetPlace(Place);
    throw;
}

class TLockNamingSource final : public TRowSource
{
public:
    TLockNamingSource(std::unique_ptr<TOvCursor> Cursor, QString Component, QString Database)
        : m_cursor(std::move(Cursor))
        , m_component(std::move(Component))
        , m_database(std::move(Database))
    {}
    int FetchRows(std::vector<QVariantList> &Rows, int Count) override
    {
        try {
            return m_cursor->FetchRows(Rows, Count);
        } catch (const EOvDatabaseError &e) {
            if (!e.Locked())
                throw;
            throw namedLockError(e, m_component, m_database);
        }
    }

private:
    std::unique_ptr<TOvCursor> m_cursor;
    QString m_component, m_database;
};

} // namespace

QString TOvDataSet::StatementPlace() const
{
    // A dataset without a name is a helper of the library's or the
    // designer's own, which says itself what it was doing.
    const QString property = StatementProperty();
    if (property.isEmpty() || objectName().isEmpty())
        return {};
    return objectName() + QLatin1Char('.') + property;
}

TOvResult TOvDataSet::ExecuteStatement(const QString &SQL, const QVariantList &Values)
{
    try {
        return m_database->Driver().Execute(SQL, Values);
    } catch (EOvDatabaseError &e) {
        rethrowStatementError(e, StatementPlace(), objectName(), m_database->DatabaseName());
    }
}

void TOvDataSet::OpenRows(const QString &SQL, const QVariantList &Values, bool Whole)
{
    TOvDriver &driver = m_database->Driver();
    const QString database = m_database->DatabaseName();
    std::unique_ptr<TOvCursor> cursor;
    try {
        cursor = Whole ? driver.TOvDriver::OpenCursor(SQL, Values) : driver.OpenCursor(SQL, Values);
    } catch (EOvDatabaseError &e) {
        rethrowStatementError(e, StatementPlace(), objectName(), database);
    }
    if (auto *query = qobject_cast<TOvQuery *>(this))
        query->m_rowsAffected = cursor->RowsAffected;
    const QList<TFieldDesc> fields = cursor->Fields;
    SetRowSource(fields,
                 std::make_unique<TLockNamingSource>(std::move(cursor), objectName(), database));
}

// --- TOvQuery -----------------------------------------------------------------

TOvQuery::TOvQuery(QObject *AOwner)
    : TOvDataSet(AOwner)
    , m_sql(std::make_unique<TStringList>())
    , m_params(new TParams(this))
{
    m_params->setObjectName(QStringLiteral("Params"));
    m_sql->OnChange = [this](QObject *) {
        SQLChanged();
    };
}

TOvQuery::~TOvQuery()
{
    m_sql->OnChange = nullptr;
}

void TOvQuery::SetSQL(TStrings *Value)
{
    if (Value == m_sql.get())
        return;
    if (Value)
        m_sql->Assign(*Value);
    else
        m_sql->Clear();
}

void TOvQuery::SetParams(TParams *Value)
{
    if (Value && Value != m_params)
        m_params->Assign(*Value);
}

bool TOvQuery::IsParamsKept() const
{
    return m_params->Count() == 0 && !m_params->ParseSQL(StatementText(), false).isEmpty();
}

void TOvQuery::SQLChanged()
{
    Close();
    if (m_paramCheck)
        m_params->ParseSQL(StatementText(), true);
}

QString TOvQuery::StatementText() const
{
    return m_sql->Text();
}

void TOvQuery::InternalOpen()
{
    const QString text = StatementText();
    if (text.trimmed().isEmpty())
        throw Exception(SNoSQLStatement().arg(objectName()));
    TOvDatabase *db = AttachDatabase();
    try {
        const ovlib::BoundStatement st
            = ovlib::bindParams(text, m_params, db->Driver(), objectName());
        TOvMonitor::Trace(st.sql);
        OpenRows(st.sql, st.values);
    } catch (...) {
        DetachDatabase();
        throw;
    }
}

bool TOvQuery::InternalDescribe(QList<TFieldDesc> &Fields)
{
    const QString text = StatementText();
    if (text.trimmed().isEmpty())
        throw Exception(SNoSQLStatement().arg(objectName()));
    TOvDatabase *db = AttachDatabase();
    TOvDriver &driver = db->Driver();
    // PostgreSQL describes a statement's columns as a run reports them, and
    // describing runs nothing: a statement that changes data changes none.
    // Other servers' columns are read by opening, which keeps the database.
    if (driver.ServerType() != TOvServerType::stPostgreSQL)
        return false;
    const auto detach = qScopeGuard([this] { DetachDatabase(); });
    const ovlib::BoundStatement st = ovlib::bindParams(text, m_params, driver, objectName());
    try {
        Fields = driver.Describe(st.sql).Fields;
    } catch (EOvDatabaseError &e) {
        rethrowStatementError(e, StatementPlace(), objectName(), db->DatabaseName());
    }
    return true;
}

void TOvQuery::ExecSQL()
{
    Close();
    const QString text = StatementText();
    if (text.trimmed().isEmpty())
        throw Exception(SNoSQLStatement().arg(objectName()));
    TOvDatabase *db = AttachDatabase();
    struct Detach
    {
        TOvQuery *q;
        ~Detach() { q->DetachDatabase(); }
    } detach{this};
    const ovlib::BoundStatement st = ovlib::bindParams(text, m_params, db->Driver(), objectName());
    TOvMonitor::Trace(st.sql);
    m_rowsAffected = ExecuteStatement(st.sql, st.values).RowsAffected;
}

// --- TOvMacroQuery ------------------------------------------------------------

TOvMacroQuery::TOvMacroQuery(QObject *AOwner)
    : TOvQuery(AOwner)
    , m_macros(new TParams(this))
{
    m_macros->setObjectName(QStringLiteral("Macros"));
}

void TOvMacroQuery::SetMacros(TParams *Value)
{
    if (Value && Value != m_macros)
        m_macros->Assign(*Value);
}

void TOvMacroQuery::SetMacroChar(const QString &Value)
{
    if (Value.size() != 1 || Value == m_macroChar)
        return;
    m_macroChar = Value;
    SQLChanged();
}

void TOvMacroQuery::SQLChanged()
{
    rebuildMacros();
    TOvQuery::SQLChanged();
}

QStringList TOvMacroQuery::macroNames() const
{
    QStringList names;
    TOvSQLLexer lexer(SQL()->Text(), m_macroChar.at(0));
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        if (t.kind == TOvSQLToken::Macro && !names.contains(t.value, Qt::CaseInsensitive))
            names << t.value;
    }
    return names;
}

bool TOvMacroQuery::IsMacrosKept() const
{
    return m_macros->Count() == 0 && !macroNames().isEmpty();
}

void TOvMacroQuery::rebuildMacros()
{
    if (!m_macros)
        return; // the base class constructor runs before the macros exist
    const QStringList names = macroNames();
    if (names == m_macros->Names())
        return;
    m_macros->BeginUpdate();
    std::vector<std::pair<QString, QVariant>> old;
    for (int i = 0; i < m_macros->Count(); ++i)
        old.emplace_back(m_macros->Items(i)->Name(), m_macros->Items(i)->Value());
    m_macros->Clear();
    for (const QString &name : names) {
        TParam *m = m_macros->AddParam(name, TFieldType::ftString, TParamType::ptInput);
        m->SetValue(QStringLiteral("0=0"));
        for (const auto &[oldName, value] : old) {
            if (oldName.compare(name, Qt::CaseInsensitive) == 0)
                m->SetValue(value);
        }
    }
    m_macros->EndUpdate();
}

QString TOvMacroQuery::StatementText() const
{
    // Macro values are SQL text chosen by the developer, inserted as written.
    const QString text = SQL()->Text();
    QString result;
    qsizetype copied = 0;
    TOvSQLLexer lexer(text, m_macroChar.at(0));
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        if (t.kind != TOvSQLToken::Macro)
            continue;
        TParam *m = m_macros ? m_macros->FindParam(t.value) : nullptr;
        result += QStringView(text).mid(copied, t.pos - copied);
        result += m ? m->AsString() : QStringLiteral("0=0");
        copied = t.pos + t.len;
    }
    result += QStringView(text).mid(copied);
    return result;
}
