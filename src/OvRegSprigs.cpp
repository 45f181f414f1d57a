#include "OvRegSprigs.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvTypes.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QPointer>

#include <utility>
#include <vector>

namespace {

const QString DefaultSessionKey = QStringLiteral("<DefaultSession>");

QString className(const QObject *Obj)
{
    return QString::fromLatin1(Obj->metaObject()->className());
}

// Whether SessionName names the runtime library's default session.
bool isDefaultSessionName(const QString &SessionName)
{
    return SessionName.isEmpty() || SameText(SessionName, Session()->SessionName());
}

// Whether two session names name the same session: letter case aside, and
// with an empty name standing for the default session.
bool sameSession(const QString &A, const QString &B)
{
    if (isDefaultSessionName(A) || isDefaultSessionName(B))
        return isDefaultSessionName(A) && isDefaultSessionName(B);
    return CompareText(A, B) == 0;
}

// The session of a session node; null for any other node (the default
// session and implied database nodes have no item to read).
TOvSession *sessionOf(TSprig *Node)
{
    return Is<TOvSessionSprig>(Node) ? Node->ItemAs<TOvSession>() : nullptr;
}

TOvDatabase *databaseOf(TSprig *Node)
{
    return Is<TOvDatabaseSprig>(Node) ? Node->ItemAs<TOvDatabase>() : nullptr;
}

// The node serving SessionName among the root's direct children. The default
// session is served by the default-session node alone, created on demand; any
// other name by a session node of that name. Null when there is none.
TSprig *sessionNode(TSprig *Self, const QString &SessionName)
{
    TRootSprig *root = Self->Root();
    if (!root)
        return nullptr;
    if (isDefaultSessionName(SessionName)) {
        if (TSprig *node
            = root->Find(DefaultSessionKey, false, &TOvDefaultSessionSprig::staticMetaObject))
            return node;
        return root->Add(new TOvDefaultSessionSprig(nullptr));
    }
    // Not the default session: its key is the name itself.
    return root->Find(SessionName, false, &TOvSessionSprig::staticMetaObject);
}

// Whether a database may go onto Target: a session node whose session has a
// name, or the default-session node.
bool isDatabaseTarget(TSprig *Target)
{
    if (TOvSession *session = sessionOf(Target))
        return !session->SessionName().isEmpty();
    return Is<TOvDefaultSessionSprig>(Target);
}

// Whether a dataset may go onto Target: a database node whose database has a
// name, or any implied-database node.
bool isDataSetTarget(TSprig *Target)
{
    if (TOvDatabase *database = databaseOf(Target))
        return !database->DatabaseName().isEmpty();
    return Is<TOvImpliedDatabaseSprig>(Target);
}

// Runs the node's ReparentChildren so its datasets follow its new session.
// When one of them raises, the datasets already moved get their session name
// back before the exception goes on: a drop moves all of them or none.
void reparentChildrenWholly(TSprig *Node)
{
    std::vector<std::pair<QPointer<TOvDataSet>, QString>> before;
    for (TSprig *child : Node->Children())
        if (Is<TOvDataSetSprig>(child))
            if (auto *dataSet = child->ItemAs<TOvDataSet>())
                before.emplace_back(dataSet, dataSet->SessionName());
    try {
        Node->ReparentChildren();
    } catch (...) {
        for (const auto &[dataSet, sessionName] : before)
            if (dataSet && dataSet->SessionName() != sessionName) {
                try {
                    dataSet->SetSessionName(sessionName);
                } catch (...) {
                    // The first failure is the one to report.
                }
            }
        throw;
    }
}

// The reasons a node gives for its flag: the setting, and what it holds.
QString emptySetting(const char *Setting)
{
    return QStringLiteral("%1 is empty").arg(QLatin1String(Setting));
}

QString noSessionNode(const QString &SessionName)
{
    return QStringLiteral("SessionName \"%1\" names no session of this module").arg(SessionName);
}

} // namespace

QString SessionSprigName(const QString &SessionName)
{
    return isDefaultSessionName(SessionName) ? DefaultSessionKey : SessionName;
}

QString ImpliedDatabaseSprigName(const QString &DatabaseName)
{
    return QStringLiteral("%1.%2").arg(QStringLiteral("<ImpliedDatabase>"), DatabaseName);
}

// --- Sessions -------------------------------------------------------------------

bool TOvSessionSprig::AnyProblems()
{
    return ItemAs<TOvSession>()->SessionName().isEmpty();
}

QString TOvSessionSprig::ProblemHint()
{
    return AnyProblems() ? emptySetting("SessionName") : QString();
}

QString TOvSessionSprig::Name()
{
    return ItemAs<TOvSession>()->SessionName();
}

QString TOvSessionSprig::Caption()
{
    return CaptionFor(Name(), UniqueName(), className(Item()));
}

QString TOvDefaultSessionSprig::UniqueName()
{
    return DefaultSessionKey;
}

bool TOvDefaultSessionSprig::Transient()
{
    return true;
}

TComponentClass TOvDefaultSessionSprig::ItemClass()
{
    return &TOvSession::staticMetaObject;
}

QString TOvDefaultSessionSprig::Caption()
{
    const QString cls = className(Session());
    return CaptionFor(Session()->SessionName(), cls.mid(1, 255), cls);
}

// --- Databases ------------------------------------------------------------------

bool TOvDatabaseSprig::AnyProblems()
{
    return ItemAs<TOvDatabase>()->DatabaseName().isEmpty();
}

QString TOvDatabaseSprig::ProblemHint()
{
    const TOvDatabase *database = ItemAs<TOvDatabase>();
    if (!Parent())
        return noSessionNode(database->SessionName());
    return AnyProblems() ? emptySetting("DatabaseName") : QString();
}

QString TOvDatabaseSprig::Name()
{
    return ItemAs<TOvDatabase>()->DatabaseName();
}

QString TOvDatabaseSprig::Caption()
{
    const TOvDatabase *database = ItemAs<TOvDatabase>();
    const QString remote = database->RemoteDatabase();
    return CaptionFor(QStringLiteral("%1 | %2").arg(
                          GetServerTypeName(database->ServerType()),
                          remote.isEmpty() ? QStringLiteral("<UnknownDatabase>") : remote),
                      UniqueName(), className(database));
}

bool TOvDatabaseSprig::DragOverTo(TSprig *AItem)
{
    return isDatabaseTarget(AItem);
}

bool TOvDatabaseSprig::PaletteOverTo(TSprig *AParent, TComponentClass AClass)
{
    Q_UNUSED(AClass);
    return isDatabaseTarget(AParent);
}

bool TOvDatabaseSprig::DragDropTo(TSprig *AItem)
{
    TOvDatabase *database = ItemAs<TOvDatabase>();
    const QString before = database->SessionName();
    bool changed = false;
    if (TOvSession *session = sessionOf(AItem)) {
        changed = CompareText(before, session->SessionName()) != 0;
        if (changed)
            database->SetSessionName(session->SessionName());
    } else if (Is<TOvDefaultSessionSprig>(AItem)) {
        changed = !isDefaultSessionName(before);
        if (changed)
            database->SetSessionName(QString());
    }
    try {
        reparentChildrenWholly(this);
    } catch (...) {
        if (changed)
            database->SetSessionName(before);
        throw;
    }
    return changed;
}

void TOvDatabaseSprig::FigureParent()
{
    if (TSprig *parent = sessionNode(this, ItemAs<TOvDatabase>()->SessionName()))
        parent->Add(this);
}

// --- Implied databases ----------------------------------------------------------

TOvImpliedDatabaseSprig::TOvImpliedDatabaseSprig(QObject *AItem)
    : TComponentSprig(AItem)
{}

QString TOvImpliedDatabaseSprig::UniqueName()
{
    return ImpliedDatabaseSprigName(FDatabaseName);
}

bool TOvImpliedDatabaseSprig::Transient()
{
    return true;
}

bool TOvImpliedDatabaseSprig::AnyProblems()
{
    return FDatabaseName.isEmpty();
}

QString TOvImpliedDatabaseSprig::ProblemHint()
{
    return AnyProblems()
               ? QStringLiteral("the datasets below name no database: their DatabaseName is empty")
               : QString();
}

TComponentClass TOvImpliedDatabaseSprig::ItemClass()
{
    return &TOvDatabase::staticMetaObject;
}

QString TOvImpliedDatabaseSprig::Caption()
{
    return CaptionFor(FDatabaseName, QStringLiteral("Unknown"), QString());
}

bool TOvImpliedDatabaseSprig::DragOverTo(TSprig *AItem)
{
    return Is<TOvSessionSprig>(AItem) || Is<TOvDefaultSessionSprig>(AItem);
}

bool TOvImpliedDatabaseSprig::DragDropTo(TSprig *AItem)
{
    const QString before = FSessionName;
    bool changed = false;
    if (TOvSession *session = sessionOf(AItem)) {
        changed = CompareText(before, session->SessionName()) != 0;
        if (changed)
            FSessionName = session->SessionName();
    } else if (Is<TOvDefaultSessionSprig>(AItem)) {
        changed = !isDefaultSessionName(before);
        if (changed)
            FSessionName.clear();
    }
    try {
        reparentChildrenWholly(this);
    } catch (...) {
        FSessionName = before;
        throw;
    }
    return changed;
}

void TOvImpliedDatabaseSprig::FigureParent()
{
    if (TSprig *parent = sessionNode(this, FSessionName))
        parent->Add(this);
}

// --- Update objects -------------------------------------------------------------

bool TOvUpdateSQLSprig::AnyProblems()
{
    const TOvUpdateSQL *update = ItemAs<TOvUpdateSQL>();
    return update->GetSQLIndex(1)->Count() == 0 && update->GetSQLIndex(2)->Count() == 0
           && update->GetSQLIndex(3)->Count() == 0;
}

QString TOvUpdateSQLSprig::ProblemHint()
{
    return AnyProblems() ? QStringLiteral("ModifySQL, InsertSQL and DeleteSQL are all empty")
                         : QString();
}

// --- Datasets -------------------------------------------------------------------

bool TOvDataSetSprig::AnyProblems()
{
    return TDataSetSprig::AnyProblems() || ItemAs<TOvDataSet>()->DatabaseName().isEmpty();
}

QString TOvDataSetSprig::ProblemHint()
{
    const TOvDataSet *dataSet = ItemAs<TOvDataSet>();
    if (!Parent())
        return noSessionNode(dataSet->SessionName());
    if (TDataSetSprig::AnyProblems())
        return TDataSetSprig::ProblemHint();
    return dataSet->DatabaseName().isEmpty() ? emptySetting("DatabaseName") : QString();
}

bool TOvDataSetSprig::DragOverTo(TSprig *AItem)
{
    return isDataSetTarget(AItem);
}

bool TOvDataSetSprig::PaletteOverTo(TSprig *AParent, TComponentClass AClass)
{
    Q_UNUSED(AClass);
    return isDataSetTarget(AParent);
}

bool TOvDataSetSprig::DragDropTo(TSprig *AItem)
{
    QString databaseName;
    QString sessionName;
    if (auto *implied = qobject_cast<TOvImpliedDatabaseSprig *>(AItem)) {
        databaseName = implied->FDatabaseName;
        sessionName = implied->FSessionName;
    } else if (TOvDatabase *database = databaseOf(AItem)) {
        databaseName = database->DatabaseName();
        sessionName = database->SessionName();
    } else {
        return false;
    }
    TOvDataSet *dataSet = ItemAs<TOvDataSet>();
    const bool changed = CompareText(dataSet->DatabaseName(), databaseName) != 0
                         || CompareText(dataSet->SessionName(), sessionName) != 0;
    if (!changed)
        return false;
    const QString databaseBefore = dataSet->DatabaseName();
    dataSet->SetDatabaseName(databaseName);
    try {
        dataSet->SetSessionName(sessionName);
    } catch (...) {
        try {
            dataSet->SetDatabaseName(databaseBefore);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    return true;
}

void TOvDataSetSprig::Reparent()
{
    QString sessionName;
    if (TOvDatabase *database = databaseOf(Parent()))
        sessionName = database->SessionName();
    else if (auto *implied = qobject_cast<TOvImpliedDatabaseSprig *>(Parent()))
        sessionName = implied->FSessionName;
    else
        return;
    TOvDataSet *dataSet = ItemAs<TOvDataSet>();
    if (!sameSession(dataSet->SessionName(), sessionName))
        dataSet->SetSessionName(sessionName);
}

void TOvDataSetSprig::FigureParent()
{
    const TOvDataSet *dataSet = ItemAs<TOvDataSet>();
    TSprig *session = sessionNode(this, dataSet->SessionName());
    if (!session)
        return;
    TSprig *database
        = session->Find(dataSet->DatabaseName(), false, &TOvDatabaseSprig::staticMetaObject);
    if (!database)
        database = session->Find(ImpliedDatabaseSprigName(dataSet->DatabaseName()), false,
                                 &TOvImpliedDatabaseSprig::staticMetaObject);
    if (!database) {
        auto *implied = new TOvImpliedDatabaseSprig(nullptr);
        session->Add(implied);
        implied->FDatabaseName = dataSet->DatabaseName();
        implied->FSessionName = dataSet->SessionName();
        database = implied;
    }
    database->Add(this);
}

bool TOvTableSprig::AnyProblems()
{
    return TOvDataSetSprig::AnyProblems() || ItemAs<TOvTable>()->TableName().isEmpty();
}

QString TOvTableSprig::ProblemHint()
{
    const QString hint = TOvDataSetSprig::ProblemHint();
    if (!hint.isEmpty() || !ItemAs<TOvTable>()->TableName().isEmpty())
        return hint;
    return emptySetting("TableName");
}

QString TOvTableSprig::Caption()
{
    return CaptionFor(ItemAs<TOvTable>()->TableName(), UniqueName(), QString());
}

bool TOvQuerySprig::AnyProblems()
{
    return TOvDataSetSprig::AnyProblems() || ItemAs<TOvQuery>()->SQL()->Count() == 0;
}

QString TOvQuerySprig::ProblemHint()
{
    const QString hint = TOvDataSetSprig::ProblemHint();
    if (!hint.isEmpty() || ItemAs<TOvQuery>()->SQL()->Count() > 0)
        return hint;
    return emptySetting("SQL");
}

QString TOvQuerySprig::Caption()
{
    const TStrings *sql = ItemAs<TOvQuery>()->SQL();
    QString name;
    if (sql->Count() > 0)
        name = sql->Strings(0);
    if (sql->Count() > 1)
        name += QStringLiteral("...");
    return CaptionFor(name, UniqueName(), QString());
}

bool TOvStoredProcSprig::AnyProblems()
{
    return TOvDataSetSprig::AnyProblems() || ItemAs<TOvStoredProc>()->StoredProcName().isEmpty();
}

QString TOvStoredProcSprig::ProblemHint()
{
    const QString hint = TOvDataSetSprig::ProblemHint();
    if (!hint.isEmpty() || !ItemAs<TOvStoredProc>()->StoredProcName().isEmpty())
        return hint;
    return emptySetting("StoredProcName");
}

QString TOvStoredProcSprig::Caption()
{
    return CaptionFor(ItemAs<TOvStoredProc>()->StoredProcName(), UniqueName(), QString());
}
