#pragma once

#include "TestSupport.h"

#include "rtl/Classes.h"

#include <QString>

#include <gtest/gtest.h>

#include <memory>

class TOvDatabase;
class TOvDriver;

// The MariaDB (or MySQL) server the tests run against, named by
// OV_MY_CONNINFO as "host:port" (the README's test command starts a server
// and sets it); OV_MY_USER and OV_MY_PASSWORD give the login (root without a
// password by default). A test that needs the server and finds none skips,
// except under CI, where that is a failure. Each test works in a database of
// its own, made with a unique name and dropped at the end.

// "host:port", or empty when OV_MY_CONNINFO is not set.
QString myServer();

// The login lines of the test server (USER NAME, PASSWORD) for Params.
void myLogin(TStrings &Params);

// Why no test can use the server; empty when a test may try.
QString myMissing();

// A database of its own for one test: created on the server, dropped when
// the object goes. Problem() tells why there is none.
class MyTestDatabase
{
public:
    MyTestDatabase();
    ~MyTestDatabase();
    const QString &Problem() const { return m_problem; }
    // The database's name and its RemoteDatabase text.
    const QString &Name() const { return m_name; }
    QString Remote() const;
    // A driver connected to the test database (another session each call),
    // with the lines Extra added to its parameters.
    std::unique_ptr<TOvDriver> Connect(const QStringList &Extra = {}) const;
    // Points Database at the test database (no login prompt) and opens it.
    void Open(TOvDatabase *Database) const;
    // Runs SQL (several statements allowed) on the admin connection.
    void Exec(const QString &SQL) const;

private:
    QString m_problem;
    QString m_name;
    std::unique_ptr<TOvDriver> m_admin;
};

// Ends the test (or its SetUp) when Problem is not empty: a skip, or a
// failure under CI.
#define OV_REQUIRE_MY(Problem)                                                                     \
    do {                                                                                           \
        const QString myProblem_ = (Problem);                                                      \
        if (!myProblem_.isEmpty()) {                                                               \
            if (runningUnderCi())                                                                  \
                FAIL() << "MariaDB under CI: " << myProblem_.toStdString();                        \
            GTEST_SKIP() << "MariaDB: " << myProblem_.toStdString();                               \
        }                                                                                          \
    } while (false)
