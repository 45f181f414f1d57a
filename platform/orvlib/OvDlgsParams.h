#pragma once

#include "orvlib/OvTypes.h"

#include <QList>
#include <QString>

// What the dialogs know about connection parameters and remote database
// texts. No widgets here: drivers and tests may use it as well.

// A connection parameter a driver reads, as the parameter editor lists it.
struct TOvKnownParam
{
    QString Name;
    QString Description;
};

// The parameters the driver of ServerType reads from Params, in the order the
// parameter editor lists them. This is the one table of them: a driver that
// learns a parameter adds it here.
QList<TOvKnownParam> KnownConnectParams(TOvServerType ServerType);

// The parts of a PostgreSQL remote database. Empty parts are not given.
struct TOvPgAddress
{
    QString Host;
    QString Port;
    QString Database;
    bool operator==(const TOvPgAddress &) const = default;
};

// Reads a PostgreSQL remote database in the forms the driver accepts:
// "host[:port]/dbname" (an IPv6 host in brackets, "[::1]:5432/db"),
// "dbname" alone (the local server), a libpq connection string
// ("host=srv port=5433 dbname=shop", values possibly in single quotes) or a
// "postgresql://" URI.
TOvPgAddress ParsePgRemoteDatabase(const QString &Value);

// The remote database text of Address. When Original is a connection string
// or a URI, the result keeps that form and every other part of Original
// (user, options, ...), replacing only host, port and database. Otherwise:
// "host[:port]/dbname", or "dbname" without a host.
QString ComposePgRemoteDatabase(const TOvPgAddress &Address, const QString &Original = QString());

// A remote database as messages and traces show it: a password written into
// a connection string or URI is masked.
QString RemoteDatabaseForDisplay(const QString &Remote);

// The remote database Remote with every password written into it removed: the
// password of a URI's user part and its "password" query item, or the
// "password" items of a connection string. Any other text comes back as it
// is, and so does a text that holds no password. For what is kept where
// others can read it, such as the history of remote databases.
QString RemoteDatabaseWithoutPassword(const QString &Remote);
