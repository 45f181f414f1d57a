#include "BenchPg.h"

#include <QByteArray>

#include <algorithm>
#include <stdexcept>
#include <vector>

QString benchPgServer()
{
    return qEnvironmentVariable("OV_PG_CONNINFO").trimmed();
}

PGconn *benchPgConnect(const QString &ConnInfo)
{
    PGconn *conn = PQconnectdb(ConnInfo.toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(conn);
        PQfinish(conn);
        throw std::runtime_error(message);
    }
    return conn;
}

BenchPgResult benchPgExec(PGconn *Conn, const QString &Sql, const QStringList &Params)
{
    std::vector<QByteArray> data;
    std::vector<const char *> values;
    for (const QString &p : Params)
        data.push_back(p.toUtf8());
    for (const QByteArray &d : data)
        values.push_back(d.constData());
    BenchPgResult r(Params.isEmpty()
                        ? PQexec(Conn, Sql.toUtf8().constData())
                        : PQexecParams(Conn, Sql.toUtf8().constData(), int(values.size()), nullptr,
                                       values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        throw std::runtime_error(PQerrorMessage(Conn));
    return r;
}

void benchPgEnsureDatabase(const QString &DbName, const QString &ConnInfo, const QString &Probe,
                           qint64 Expected, const std::function<void(PGconn *)> &Fill)
{
    PGconn *probe = PQconnectdb(ConnInfo.toUtf8().constData());
    bool complete = false;
    if (PQstatus(probe) == CONNECTION_OK) {
        try {
            const BenchPgResult r = benchPgExec(probe, Probe);
            complete = PQntuples(r.get()) == 1
                       && QByteArray(PQgetvalue(r.get(), 0, 0)).toLongLong() == Expected;
        } catch (const std::exception &) {
        }
    }
    PQfinish(probe);
    if (complete)
        return;
    PGconn *admin = benchPgConnect(benchPgServer());
    try {
        benchPgExec(admin, "drop database if exists " + DbName);
        benchPgExec(admin, "create database " + DbName);
    } catch (...) {
        PQfinish(admin);
        throw;
    }
    PQfinish(admin);
    PGconn *conn = benchPgConnect(ConnInfo);
    try {
        Fill(conn);
    } catch (...) {
        PQfinish(conn);
        throw;
    }
    PQfinish(conn);
}

void benchPgCreateTables(PGconn *Conn, int Count, const QString &Statement)
{
    for (int from = 0; from < Count; from += 500) {
        const int to = std::min(from + 500, Count) - 1;
        benchPgExec(Conn, QStringLiteral("do $$ begin for i in ") + QString::number(from)
                              + QStringLiteral("..") + QString::number(to)
                              + QStringLiteral(" loop execute ") + Statement
                              + QStringLiteral("; end loop; end $$"));
    }
}
