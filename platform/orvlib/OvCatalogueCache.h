#pragma once

#include "orvlib/OvDriver.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A driver that remembers what the catalogue answered: the second time a
// list of tables or procedures, a table's columns or indexes, a routine's
// parameters or a statement's description is asked for on a connection, it
// is answered without a round trip to the server. Everything else passes
// to the driver it wraps, so every driver gains it.
//
// What was read is forgotten on Clear (a person's Refresh), on Connect and
// Disconnect, when the server refuses a statement because an object it
// names is missing or changed, and after a statement that creates, alters
// or drops objects ran through this connection. A change made elsewhere
// stays unseen until one of these: where a person could be misled, show
// when a list was read (ReadAt) with a way to refresh.
class TOvCatalogueCache final : public TOvDriver
{
public:
    explicit TOvCatalogueCache(std::unique_ptr<TOvDriver> Driver);
    ~TOvCatalogueCache() override;

    TOvDriver &Inner() const { return *m_driver; }
    // Forgets every answer: the next look-up asks the server.
    void Clear();
    // How many times the answers were forgotten; a reader that keeps a copy
    // can tell whether it is still current.
    int Generation() const { return m_generation; }
    // When the table list (user tables, or with the system tables) was
    // read; null when it is not kept.
    QDateTime TableNamesReadAt(bool SystemTables) const;
    // When the columns or indexes of TableName were read; null when not kept.
    QDateTime TableReadAt(const QString &TableName) const;
    // When the list of procedures was read; null when not kept.
    QDateTime ProcedureNamesReadAt() const;
    // When the oldest answer handed out since ResetServed was read: how
    // old a list just filled from the catalogue may be. Null when none was.
    QDateTime OldestServed() const { return m_oldestServed; }
    void ResetServed() { m_oldestServed = QDateTime(); }

    TOvServerType ServerType() const override { return m_driver->ServerType(); }
    void Connect(const QString &RemoteDatabase, const TStrings &Params) override;
    void Disconnect() override;
    bool IsConnected() const override { return m_driver->IsConnected(); }
    bool NeedsLogin() const override { return m_driver->NeedsLogin(); }
    TOvResult Execute(const QString &SQL, const QVariantList &Params) override;
    std::unique_ptr<TOvCursor> OpenCursor(const QString &SQL, const QVariantList &Params) override;
    QString Placeholder(int Index) const override { return m_driver->Placeholder(Index); }
    TOvStatementInfo Describe(const QString &SQL) override;
    bool ObjOwnerSupported() const override { return m_driver->ObjOwnerSupported(); }
    QStringList TableNames(bool SystemTables) override;
    QStringList MatchingTableNames(bool SystemTables, const QString &Pattern) override;
    QStringList SystemTableNames(const QString &Pattern) override;
    QList<TOvColumnInfo> Columns(const QString &TableName) override;
    QStringList ColumnNames(const QString &TableName) override;
    QList<TOvIndexColumn> IndexColumns(const QString &TableName) override;
    QStringList ProcedureNames() override;
    QList<TOvProcParamInfo> ProcedureParams(const QString &ProcName) override;
    bool ProcedureExists(const QString &ProcName) override;
    bool DescribesProcedures() const override { return m_driver->DescribesProcedures(); }
    QString ProcedureCallSQL(const QString &ProcName, int InputCount) const override
    {
        return m_driver->ProcedureCallSQL(ProcName, InputCount);
    }
    std::vector<TOvAnswer<TOvStatementInfo>> DescribeMany(const QStringList &SQL) override;
    std::vector<TOvAnswer<QList<TOvColumnInfo>>> ColumnsMany(const QStringList &Tables) override;
    std::vector<TOvAnswer<QList<TOvIndexColumn>>>
    IndexColumnsMany(const QStringList &Tables) override;
    QString QuoteObjectName(const QString &Name) const override;
    QString QuoteColumnName(const QString &Name) const override
    {
        return m_driver->QuoteColumnName(Name);
    }
    // Answered from the table's kept columns where there are some; the
    // rules for names below need no server at all.
    bool IsReadOnlyTable(const QString &TableName) override;
    bool IsPlainName(const QString &Name) const override { return m_driver->IsPlainName(Name); }
    QString QuoteIdent(const QString &Name) const override { return m_driver->QuoteIdent(Name); }
    QString UnquotedName(const QString &Name) const override
    {
        return m_driver->UnquotedName(Name);
    }
    QString NullSafeEqual() const override { return m_driver->NullSafeEqual(); }

private:
    template<class T>
    struct Kept
    {
        T Value;
        QDateTime ReadAt;
    };
    template<class T>
    using Answers = QHash<QString, Kept<T>>;

    // The kept answer under Key, else Ask's, kept.
    template<class T, class F>
    const T &kept(Answers<T> &Map, const QString &Key, F Ask);
    template<class T, class F>
    std::vector<TOvAnswer<T>> keptMany(Answers<T> &Map, const QStringList &Keys, F AskMany);
    // Runs Call; an error that says the schema changed forgets the answers.
    template<class F>
    auto watching(F Call) -> decltype(Call());

    // Notes that an answer read at ReadAt was handed out; returns Value.
    template<class T>
    const T &served(const Kept<T> &Answer);

    std::unique_ptr<TOvDriver> m_driver;
    int m_generation = 0;
    QDateTime m_oldestServed;
    // Table lists: user tables, with the system tables, system tables alone.
    std::optional<Kept<QStringList>> m_tableLists[3];
    std::optional<Kept<QStringList>> m_procedureNames;
    Answers<QList<TOvColumnInfo>> m_columns;
    Answers<QList<TOvIndexColumn>> m_indexes;
    Answers<QList<TOvProcParamInfo>> m_procParams;
    Answers<bool> m_procExists;
    Answers<bool> m_readOnlyTables;
    Answers<TOvStatementInfo> m_described;
    mutable QHash<QString, QString> m_quotedNames;
};

// "as read 3 min ago — Refresh": how old a list shown from the cache is,
// for a tooltip; empty for a null ReadAt.
QString CatalogueAgeText(const QDateTime &ReadAt, const QDateTime &Now);
