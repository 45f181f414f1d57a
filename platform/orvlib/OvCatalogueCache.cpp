#include "orvlib/OvCatalogueCache.h"
#include "OvPrivate.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

// A statement of the text creates, alters or drops objects: what the
// catalogue said may no longer hold. Leading comments are not looked into:
// the error that such a statement later causes still clears the cache.
bool changesSchema(const QString &SQL)
{
    static const QRegularExpression ddl(
        QStringLiteral("(^|;)\\s*(create|alter|drop|comment|rename|grant|revoke)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return ddl.match(SQL).hasMatch();
}

QStringList filtered(const QStringList &Names, const QString &Pattern)
{
    if (Pattern.isEmpty())
        return Names;
    QStringList matching;
    for (const QString &name : Names)
        if (ovlib::matchesPattern(name, Pattern))
            matching << name;
    return matching;
}

} // namespace

TOvCatalogueCache::TOvCatalogueCache(std::unique_ptr<TOvDriver> Driver)
    : m_driver(std::move(Driver))
{}

TOvCatalogueCache::~TOvCatalogueCache() = default;

void TOvCatalogueCache::Clear()
{
    ++m_generation;
    for (auto &list : m_tableLists)
        list.reset();
    m_procedureNames.reset();
    m_columns.clear();
    m_indexes.clear();
    m_procParams.clear();
    m_procExists.clear();
    m_readOnlyTables.clear();
    m_described.clear();
    m_quotedNames.clear();
}

QDateTime TOvCatalogueCache::TableNamesReadAt(bool SystemTables) const
{
    const auto &list = m_tableLists[SystemTables ? 1 : 0];
    return list ? list->ReadAt : QDateTime();
}

QDateTime TOvCatalogueCache::TableReadAt(const QString &TableName) const
{
    for (const QDateTime &at :
         {m_columns.value(TableName).ReadAt, m_indexes.value(TableName).ReadAt})
        if (at.isValid())
            return at;
    return {};
}

QDateTime TOvCatalogueCache::ProcedureNamesReadAt() const
{
    return m_procedureNames ? m_procedureNames->ReadAt : QDateTime();
}

template<class T>
const T &TOvCatalogueCache::served(const Kept<T> &Answer)
{
    if (!m_oldestServed.isValid() || Answer.ReadAt < m_oldestServed)
        m_oldestServed = Answer.ReadAt;
    return Answer.Value;
}

template<class F>
auto TOvCatalogueCache::watching(F Call) -> decltype(Call())
{
    try {
        return Call();
    } catch (const EOvDatabaseError &e) {
        if (e.SchemaChanged())
            Clear();
        throw;
    }
}

template<class T, class F>
const T &TOvCatalogueCache::kept(Answers<T> &Map, const QString &Key, F Ask)
{
    auto it = Map.constFind(Key);
    if (it == Map.constEnd()) {
        Kept<T> answer{watching(Ask), QDateTime::currentDateTimeUtc()};
        it = Map.insert(Key, std::move(answer));
    }
    return served(*it);
}

template<class T, class F>
std::vector<TOvAnswer<T>> TOvCatalogueCache::keptMany(Answers<T> &Map, const QStringList &Keys,
                                                      F AskMany)
{
    std::vector<TOvAnswer<T>> answers(Keys.size());
    QStringList missing;
    QSet<QString> asking;
    for (qsizetype i = 0; i < Keys.size(); ++i) {
        const auto it = Map.constFind(Keys.at(i));
        if (it != Map.constEnd()) {
            answers[i].Value = served(*it);
        } else if (!asking.contains(Keys.at(i))) {
            asking.insert(Keys.at(i));
            missing << Keys.at(i);
        }
    }
    if (missing.isEmpty())
        return answers;
    const std::vector<TOvAnswer<T>> asked = AskMany(missing);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool changed = false;
    QHash<QString, const TOvAnswer<T> *> byKey;
    for (qsizetype i = 0; i < missing.size() && i < qsizetype(asked.size()); ++i) {
        byKey.insert(missing.at(i), &asked[i]);
        if (!asked[i].Error)
            Map.insert(missing.at(i), Kept<T>{asked[i].Value, now});
        else
            changed = changed || asked[i].Error->SchemaChanged();
    }
    for (qsizetype i = 0; i < Keys.size(); ++i)
        if (const TOvAnswer<T> *a = byKey.value(Keys.at(i)))
            answers[i] = *a;
    if (changed)
        Clear(); // the answers are handed out, but what was kept may no longer hold
    return answers;
}

void TOvCatalogueCache::Connect(const QString &RemoteDatabase, const TStrings &Params)
{
    Clear();
    m_driver->Connect(RemoteDatabase, Params);
}

void TOvCatalogueCache::Disconnect()
{
    Clear();
    m_driver->Disconnect();
}

TOvResult TOvCatalogueCache::Execute(const QString &SQL, const QVariantList &Params)
{
    TOvResult result = watching([&] { return m_driver->Execute(SQL, Params); });
    if (changesSchema(SQL))
        Clear();
    return result;
}

std::unique_ptr<TOvCursor> TOvCatalogueCache::OpenCursor(const QString &SQL,
                                                         const QVariantList &Params)
{
    std::unique_ptr<TOvCursor> cursor = watching([&] { return m_driver->OpenCursor(SQL, Params); });
    if (changesSchema(SQL))
        Clear();
    return cursor;
}

TOvStatementInfo TOvCatalogueCache::Describe(const QString &SQL)
{
    return kept(m_described, SQL, [&] { return m_driver->Describe(SQL); });
}

QStringList TOvCatalogueCache::TableNames(bool SystemTables)
{
    auto &list = m_tableLists[SystemTables ? 1 : 0];
    if (!list)
        list = Kept<QStringList>{watching([&] { return m_driver->TableNames(SystemTables); }),
                                 QDateTime::currentDateTimeUtc()};
    return served(*list);
}

// A listing filtered by a pattern is the full listing filtered, in the same
// order (the drivers promise as much): one list serves every pattern.
QStringList TOvCatalogueCache::MatchingTableNames(bool SystemTables, const QString &Pattern)
{
    return filtered(TableNames(SystemTables), Pattern);
}

QStringList TOvCatalogueCache::SystemTableNames(const QString &Pattern)
{
    auto &list = m_tableLists[2];
    if (!list)
        list = Kept<QStringList>{watching([&] { return m_driver->SystemTableNames(QString()); }),
                                 QDateTime::currentDateTimeUtc()};
    return filtered(served(*list), Pattern);
}

QList<TOvColumnInfo> TOvCatalogueCache::Columns(const QString &TableName)
{
    return kept(m_columns, TableName, [&] { return m_driver->Columns(TableName); });
}

// The whole columns cost the same round trip and serve the next Columns
// (the editors ask for the names first, then the types).
QStringList TOvCatalogueCache::ColumnNames(const QString &TableName)
{
    QStringList names;
    for (const TOvColumnInfo &c : Columns(TableName))
        names << c.Name;
    return names;
}

bool TOvCatalogueCache::IsReadOnlyTable(const QString &TableName)
{
    const auto columns = m_columns.constFind(TableName);
    if (columns != m_columns.cend() && !columns->Value.isEmpty())
        return served(*columns).first().ReadOnlyTable;
    return kept(m_readOnlyTables, TableName, [&] { return m_driver->IsReadOnlyTable(TableName); });
}

QList<TOvIndexColumn> TOvCatalogueCache::IndexColumns(const QString &TableName)
{
    return kept(m_indexes, TableName, [&] { return m_driver->IndexColumns(TableName); });
}

QStringList TOvCatalogueCache::ProcedureNames()
{
    if (!m_procedureNames)
        m_procedureNames = Kept<QStringList>{watching([&] { return m_driver->ProcedureNames(); }),
                                             QDateTime::currentDateTimeUtc()};
    return served(*m_procedureNames);
}

QList<TOvProcParamInfo> TOvCatalogueCache::ProcedureParams(const QString &ProcName)
{
    return kept(m_procParams, ProcName, [&] { return m_driver->ProcedureParams(ProcName); });
}

bool TOvCatalogueCache::ProcedureExists(const QString &ProcName)
{
    if (m_procParams.contains(ProcName))
        return true;
    return kept(m_procExists, ProcName, [&] { return m_driver->ProcedureExists(ProcName); });
}

std::vector<TOvAnswer<TOvStatementInfo>> TOvCatalogueCache::DescribeMany(const QStringList &SQL)
{
    return keptMany(m_described, SQL,
                    [&](const QStringList &Missing) { return m_driver->DescribeMany(Missing); });
}

std::vector<TOvAnswer<QList<TOvColumnInfo>>>
TOvCatalogueCache::ColumnsMany(const QStringList &Tables)
{
    return keptMany(m_columns, Tables,
                    [&](const QStringList &Missing) { return m_driver->ColumnsMany(Missing); });
}

std::vector<TOvAnswer<QList<TOvIndexColumn>>>
TOvCatalogueCache::IndexColumnsMany(const QStringList &Tables)
{
    return keptMany(m_indexes, Tables, [&](const QStringList &Missing) {
        return m_driver->IndexColumnsMany(Missing);
    });
}

QString TOvCatalogueCache::QuoteObjectName(const QString &Name) const
{
    auto it = m_quotedNames.constFind(Name);
    if (it == m_quotedNames.constEnd())
        it = m_quotedNames.insert(Name, m_driver->QuoteObjectName(Name));
    return *it;
}

QString CatalogueAgeText(const QDateTime &ReadAt, const QDateTime &Now)
{
    if (!ReadAt.isValid())
        return {};
    const qint64 seconds = std::max<qint64>(ReadAt.secsTo(Now), 0);
    QString age;
    if (seconds < 60)
        age = QStringLiteral("just now");
    else if (seconds < 3600)
        age = QStringLiteral("%1 min ago").arg(seconds / 60);
    else if (seconds < 86400)
        age = QStringLiteral("%1 h ago").arg(seconds / 3600);
    else
        age = QStringLiteral("%1 days ago").arg(seconds / 86400);
    return QStringLiteral("as read %1 \u2014 Refresh to read again").arg(age);
}
