#pragma once

#include "TestSupport.h"

#include <QString>

#include <gtest/gtest.h>

#include <memory>

class TOvDatabase;
class TOvDriver;

// The PostgreSQL server the tests run against, named by OV_PG_CONNINFO (a
// libpq connection string; the README's test command starts a server and
// sets it). A test that needs the server and finds none skips, except under
// CI, where that is a failure.

// The connection string, or empty when none is set.
QString pgConnInfo();

// A name no other test uses, on the server or in a run beside this one:
// Prefix, the process id and a random number.
QString pgUniqueName(const QString &Prefix);

// Why no test can use the server: the runtime library has no driver for
// it, or OV_PG_CONNINFO is not set. Empty when a test may try.
QString pgMissing();

// A driver connected to the server, for making and dropping what a test
// needs; null, with the reason in Problem, when there is none.
std::unique_ptr<TOvDriver> pgAdmin(QString *Problem);

// Points Database at the server (no login prompt), with Schema first on its
// search path, opens it and creates Schema. Returns why that failed; empty
// when the database is open in its new schema. ConnInfo, when given, reaches
// the server another way (through a PgLatencyProxy).
QString pgOpenInSchema(TOvDatabase *Database, const QString &Schema,
                       const QString &ConnInfo = QString());

// Ends the test (or its SetUp) when Problem is not empty: a skip, or a
// failure under CI.
#define OV_REQUIRE_PG(Problem)                                                               \
    do {                                                                                     \
        const QString pgProblem_ = (Problem);                                                \
        if (!pgProblem_.isEmpty()) {                                                         \
            if (runningUnderCi())                                                            \
                FAIL() << "PostgreSQL under CI: " << pgProblem_.toStdString();               \
            GTEST_SKIP() << "PostgreSQL: " << pgProblem_.toStdString();                      \
        }                                                                                    \
    } while (false)
