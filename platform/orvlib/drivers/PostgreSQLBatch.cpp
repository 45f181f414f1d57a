// Look-ups and descriptions asked for together: libpq's pipeline mode sends
// them all before reading any answer, so that a batch costs one round trip
// to the server however long it is.

#include "PostgreSQLDriver.h"

#include <QHash>

namespace ovpg {

struct PostgreSQLDriver::Batch
{
    struct Request
    {
        QByteArray SQL;
        std::vector<QByteArray> Params;
    };
    bool Noting = true;
    std::vector<Request> Requests;
    QHash<QByteArray, int> Index; // the request of a query and its parameters
    std::vector<Result> Answers;
    std::vector<std::shared_ptr<EOvDatabaseError>> Errors;

    static QByteArray key(const char *SQL, const QStringList &Params)
    {
        QByteArray key(SQL);
        for (const QString &p : Params)
            key += '\0' + p.toUtf8(); // parameters hold no NUL (query() refuses them)
        return key;
    }
};

Result PostgreSQLDriver::batchAnswer(const char *SQL, const QStringList &Params) const
{
    Batch &batch = *m_batch;
    const QByteArray key = Batch::key(SQL, Params);
    if (batch.Noting) {
        if (!batch.Index.contains(key)) {
            batch.Index.insert(key, int(batch.Requests.size()));
            Batch::Request request{SQL, {}};
            for (const QString &p : Params)
                request.Params.push_back(p.toUtf8());
            batch.Requests.push_back(std::move(request));
        }
        return Result(PQmakeEmptyPGresult(m_conn, PGRES_TUPLES_OK));
    }
    const auto found = batch.Index.constFind(key);
    if (found == batch.Index.constEnd())
        return nullptr;
    if (const auto &error = batch.Errors[*found])
        throw EOvDatabaseError(*error);
    const Result &answer = batch.Answers[*found];
    return answer ? Result(PQcopyResult(answer.get(), PG_COPYRES_ATTRS | PG_COPYRES_TUPLES))
                  : nullptr;
}

void PostgreSQLDriver::batched(const std::function<void()> &Each)
{
    Batch batch;
    m_batch = &batch;
    struct Done
    {
        PostgreSQLDriver *Driver;
        ~Done() { Driver->m_batch = nullptr; }
    } done{this};
    Each();
    batch.Noting = false;
    const int count = int(batch.Requests.size());
    batch.Answers.resize(count);
    batch.Errors.resize(count);
    PGconn *c = conn();
    pipeline(
        count, 1,
        [&](int I) {
            const Batch::Request &r = batch.Requests[I];
            std::vector<const char *> values;
            for (const QByteArray &p : r.Params)
                values.push_back(p.constData());
            return PQsendQueryParams(c, r.SQL.constData(), int(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0)
                   == 1;
        },
        [&](int I, std::vector<Result> &Results) {
            const ExecStatusType status = PQresultStatus(Results.front().get());
            if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)
                batch.Answers[I] = std::move(Results.front());
            else
                batch.Errors[I]
                    = std::make_shared<EOvDatabaseError>(errorOf(Results.front().get()));
        });
    // Answers not given (the connection could not pipeline) are asked for
    // one by one.
    Each();
}

bool PostgreSQLDriver::pipeline(int Count, int CommandsEach, const std::function<bool(int)> &Send,
                                const std::function<void(int, std::vector<Result> &)> &Read)
{
    PGconn *c = conn();
    if (Count == 0)
        return true;
    // Inside a transaction a refusal would abort it: one by one there, each
    // under its savepoint.
    if (PQtransactionStatus(c) != PQTRANS_IDLE || !PQenterPipelineMode(c))
        return false;
    bool broken = false;
    int from = 0;
    while (from < Count && !broken) {
        bool sent = true;
        for (int i = from; i < Count && sent; ++i)
            sent = Send(i);
        if (!sent || !PQpipelineSync(c)) {
            broken = true;
            break;
        }
        // After a refusal the server skips every command up to the sync
        // point: those after the refused request go again, in a new round.
        int next = Count;
        for (int i = from; i < Count && !broken; ++i) {
            // Each command's results end with a null.
            std::vector<Result> results;
            for (int k = 0; k < CommandsEach && !broken; ++k) {
                const size_t before = results.size();
                for (Result r(PQgetResult(c)); r; r.reset(PQgetResult(c)))
                    results.push_back(std::move(r));
                broken = results.size() == before || PQstatus(c) != CONNECTION_OK;
            }
            if (broken)
                break;
            const ExecStatusType status = PQresultStatus(results.front().get());
            if (status == PGRES_PIPELINE_ABORTED)
                continue;
            if (next == Count) {
                for (const Result &r : results)
                    if (PQresultStatus(r.get()) == PGRES_FATAL_ERROR)
                        next = i + 1;
            }
            Read(i, results);
        }
        if (!broken) {
            const Result sync(PQgetResult(c));
            broken = !sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC;
        }
        from = next;
    }
    if (!PQexitPipelineMode(c) || broken) {
        // A connection left halfway through a pipeline serves nothing else.
        const QString msg = QString::fromUtf8(PQerrorMessage(c)).trimmed();
        Disconnect();
        throw EOvDatabaseError(QStringLiteral("Connection to the server lost: %1").arg(msg), msg);
    }
    return true;
}

std::vector<TOvAnswer<TOvStatementInfo>> PostgreSQLDriver::DescribeMany(const QStringList &SQL)
{
    std::vector<QByteArray> texts;
    for (const QString &s : SQL)
        texts.push_back(s.toUtf8());
    std::vector<TOvAnswer<TOvStatementInfo>> answers(SQL.size());
    PGconn *c = conn();
    // The unnamed statement, as Describe uses it: parsed and described,
    // never run, replaced by the next.
    const bool pipelined = pipeline(
        int(SQL.size()), 2,
        [&](int I) {
            return PQsendPrepare(c, "", texts[I].constData(), 0, nullptr)
                   && PQsendDescribePrepared(c, "");
        },
        [&](int I, std::vector<Result> &Results) {
            const PGresult *failed = nullptr;
            for (const Result &r : Results)
                if (!failed && PQresultStatus(r.get()) != PGRES_COMMAND_OK)
                    failed = r.get();
            if (failed || Results.size() < 2)
                answers[I].Error = std::make_shared<EOvDatabaseError>(errorOf(failed));
            else
                answers[I].Value.Fields = describeResult(Results.back().get());
        });
    if (!pipelined)
        return TOvDriver::DescribeMany(SQL);
    return answers;
}

std::vector<TOvAnswer<QList<TOvColumnInfo>>>
PostgreSQLDriver::ColumnsMany(const QStringList &Tables)
{
    std::vector<TOvAnswer<QList<TOvColumnInfo>>> answers;
    batched([&] { answers = TOvDriver::ColumnsMany(Tables); });
    return answers;
}

std::vector<TOvAnswer<QList<TOvIndexColumn>>>
PostgreSQLDriver::IndexColumnsMany(const QStringList &Tables)
{
    std::vector<TOvAnswer<QList<TOvIndexColumn>>> answers;
    batched([&] { answers = TOvDriver::IndexColumnsMany(Tables); });
    return answers;
}

} // namespace ovpg
