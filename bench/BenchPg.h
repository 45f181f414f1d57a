#pragma once

// What the PostgreSQL benchmarks share: the server they are given
// (OV_PG_CONNINFO), the raw libpq calls of their baselines, and databases of
// many tables that the first run builds and later runs keep.

#include <QString>
#include <QStringList>

#include <libpq-fe.h>

#include <functional>
#include <memory>

struct BenchPgResultDeleter
{
    void operator()(PGresult *R) const { PQclear(R); }
};
using BenchPgResult = std::unique_ptr<PGresult, BenchPgResultDeleter>;

// The server OV_PG_CONNINFO names; empty when it names none.
QString benchPgServer();

// A connection; raises std::runtime_error with libpq's message.
PGconn *benchPgConnect(const QString &ConnInfo);

// Runs Sql with Params as text; raises std::runtime_error when the server
// refuses it. Without Params the text may hold several statements.
BenchPgResult benchPgExec(PGconn *Conn, const QString &Sql, const QStringList &Params = {});

// The database DbName on the server, reached through ConnInfo (the server's
// string with the database and any options). It is kept when Probe, a query
// of one number, answers Expected there; otherwise it is dropped, created
// again and Fill builds its contents on a connection to it.
void benchPgEnsureDatabase(const QString &DbName, const QString &ConnInfo, const QString &Probe,
                           qint64 Expected, const std::function<void(PGconn *)> &Fill);

// Creates Count tables: for each i from 0, the plpgsql expression Statement
// gives the text to execute, e.g. format('create table %I (id integer)',
// 't' || i). In batches, since each table holds locks until its transaction
// ends.
void benchPgCreateTables(PGconn *Conn, int Count, const QString &Statement);
