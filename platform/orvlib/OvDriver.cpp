#include "orvlib/OvDriver.h"
#include "OvPrivate.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

TOvDriver::~TOvDriver() = default;

namespace {

// The rows of a statement that ran to the end, handed out from memory.
class TOvMemCursor final : public TOvCursor
{
public:
    explicit TOvMemCursor(TOvResult Result)
        : m_rows(std::move(Result.Rows))
    {
        Fields = std::move(Result.Fields);
        RowsAffected = Result.RowsAffected;
    }
    int FetchRows(std::vector<QVariantList> &Rows, int Count) override
    {
        const size_t n = std::min(m_rows.size() - m_next, static_cast<size_t>(Count));
        for (size_t i = 0; i < n; ++i)
            Rows.push_back(std::move(m_rows[m_next + i]));
        m_next += n;
        return static_cast<int>(n);
    }

private:
    std::vector<QVariantList> m_rows;
    size_t m_next = 0;
};

// Asks Call for each of Items in turn, keeping each refusal with its item.
template<class T, class F>
std::vector<TOvAnswer<T>> oneByOne(const QStringList &Items, F Call)
{
    std::vector<TOvAnswer<T>> answers(Items.size());
    for (qsizetype i = 0; i < Items.size(); ++i) {
        try {
            answers[i].Value = Call(Items.at(i));
        } catch (const EOvDatabaseError &e) {
            answers[i].Error = std::make_shared<EOvDatabaseError>(e);
        } catch (const Exception &e) {
            answers[i].Error = std::make_shared<EOvDatabaseError>(e.Message());
        }
    }
    return answers;
}

} // namespace

std::vector<TOvAnswer<TOvStatementInfo>> TOvDriver::DescribeMany(const QStringList &SQL)
{
    return oneByOne<TOvStatementInfo>(SQL, [this](const QString &S) { return Describe(S); });
}

std::vector<TOvAnswer<QList<TOvColumnInfo>>> TOvDriver::ColumnsMany(const QStringList &Tables)
{
    return oneByOne<QList<TOvColumnInfo>>(Tables,
                                          [this](const QString &T) { return Columns(T); });
}

std::vector<TOvAnswer<QList<TOvIndexColumn>>>
TOvDriver::IndexColumnsMany(const QStringList &Tables)
{
    return oneByOne<QList<TOvIndexColumn>>(Tables,
                                           [this](const QString &T) { return IndexColumns(T); });
}

std::unique_ptr<TOvCursor> TOvDriver::OpenCursor(const QString &SQL, const QVariantList &Params)
{
    return std::make_unique<TOvMemCursor>(Execute(SQL, Params));
}

TOvStatementInfo TOvDriver::Describe(const QString &)
{
    throw EOvDatabaseError(
        QStringLiteral("This server cannot prepare a statement without running it"));
}

QString TOvDriver::QuoteObjectName(const QString &Name) const
{
    QString owner, object;
    SplitObjName(Name, owner, object);
    const QString quoted = QuoteIdentifier(ServerType(), object, true);
    return owner.isEmpty() ? quoted
                           : QuoteIdentifier(ServerType(), owner, true) + QLatin1Char('.') + quoted;
}

QStringList TOvDriver::ColumnNames(const QString &TableName)
{
    QStringList names;
    for (const TOvColumnInfo &c : Columns(TableName))
        names << c.Name;
    return names;
}

QStringList TOvDriver::MatchingTableNames(bool SystemTables, const QString &Pattern)
{
    QStringList names = TableNames(SystemTables);
    if (!Pattern.isEmpty())
        names.removeIf([&](const QString &Name) { return !ovlib::matchesPattern(Name, Pattern); });
    return names;
}

QStringList TOvDriver::SystemTableNames(const QString &Pattern)
{
    const QStringList all = TableNames(true);
    const QStringList user = TableNames(false);
    const QSet<QString> isUser(user.begin(), user.end());
    QStringList names;
    for (const QString &name : all) {
        if (!isUser.contains(name) && ovlib::matchesPattern(name, Pattern))
            names << name;
    }
    return names;
}

QString TOvDriver::QuoteColumnName(const QString &Name) const
{
    return QuoteIdentifier(ServerType(), Name, true);
}

bool TOvDriver::IsReadOnlyTable(const QString &)
{
    return false;
}

bool TOvDriver::IsPlainName(const QString &Name) const
{
    return IsPlainIdentifier(ServerType(), Name);
}

QString TOvDriver::QuoteIdent(const QString &Name) const
{
    return QuoteIdentifier(Name, true);
}

std::optional<TOvRowKey> ChooseRowKey(const QList<TOvIndexColumn> &Indexes,
                                      const QSet<QString> &Nullable)
{
    for (qsizetype first = 0, next = 0; first < Indexes.size(); first = next) {
        const QString &name = Indexes.at(first).IndexName;
        int bits = ~0;
        TOvRowKey key{name, {}, {}};
        for (next = first; next < Indexes.size() && Indexes.at(next).IndexName == name; ++next) {
            const TOvIndexColumn &c = Indexes.at(next);
            bits &= c.IndexType;
            if ((c.IndexType & (itExpression | itPartial)) || c.ColumnName.isEmpty())
                bits = 0;
            key.Columns << c.ColumnName;
            if (Nullable.contains(c.ColumnName.toCaseFolded()))
                key.NullSafeColumns << c.ColumnName;
        }
        if (bits & itPrimary) {
            key.NullSafeColumns.clear(); // compared as the table's key always was
            return key;
        }
        if (!(bits & itUnique) || key.Columns.isEmpty())
            continue;
        if (key.NullSafeColumns.isEmpty() || (bits & itNullsNotDistinct))
            return key;
    }
    return std::nullopt;
}

namespace {
std::map<TOvServerType, TOvDriverFactory> &factories()
{
    static std::map<TOvServerType, TOvDriverFactory> map;
    return map;
}
} // namespace

void registerBuiltInDrivers(); // OvDrivers.cpp

void RegisterDriver(TOvServerType ServerType, TOvDriverFactory Factory)
{
    factories()[ServerType] = std::move(Factory);
}

const TOvDriver &IdentifierRules(TOvServerType ServerType)
{
    // Made on first use and kept: the rules are const and read no state, so
    // one driver per server type serves every caller and thread.
    static std::mutex lock;
    static std::map<TOvServerType, std::unique_ptr<TOvDriver>> rules;
    const std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<TOvDriver> &driver = rules[ServerType];
    if (!driver)
        driver = CreateDriver(ServerType);
    return *driver;
}

bool HasDriver(TOvServerType ServerType)
{
    registerBuiltInDrivers();
    return factories().count(ServerType) != 0;
}

std::unique_ptr<TOvDriver> CreateDriver(TOvServerType ServerType)
{
    registerBuiltInDrivers();
    auto it = factories().find(ServerType);
    if (it == factories().end() || !it->second)
        throw Exception(SNoDriver().arg(GetServerTypeName(ServerType)));
    return it->second();
}

int TOvCursor::PageSize(int Count, qint64 Read)
{
    // Half of what was read: each run moves past at most twice the rows it
    // reads, and a slow reader is not made to wait for a large page early.
    return int(std::clamp<qint64>(Read / 2, Count, std::max(Count, 1 << 20)));
}

bool TOvCursor::SameRow(const QVariantList &A, const QVariantList &B)
{
    if (A.size() != B.size())
        return false;
    for (qsizetype i = 0; i < A.size(); ++i) {
        const QVariant &a = A.at(i), &b = B.at(i);
        if (a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double
            && std::isnan(a.toDouble()) && std::isnan(b.toDouble()))
            continue;
        if (a.isNull() != b.isNull() || a.typeId() != b.typeId() || a != b)
            return false;
    }
    return true;
}

int TOvReadAhead::TakeInto(std::vector<QVariantList> &Out, int Count)
{
    int n = 0;
    for (; n < Count && Next < Rows.size(); ++n)
        Out.push_back(std::move(Rows[Next++]));
    if (Next == Rows.size() && Next > 0) {
        Rows.clear();
        Next = 0;
    }
    return n;
}
