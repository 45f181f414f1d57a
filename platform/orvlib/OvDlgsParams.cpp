#include "orvlib/OvDlgsParams.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

#include <algorithm>

namespace {

QString tr(const char *Text)
{
    return QCoreApplication::translate("OvDlgs", Text);
}

// libpq's own keywords, with its labels, after those already in Params.
// Left out: what RemoteDatabase gives (host, hostaddr, port, dbname), what
// USER NAME and PASSWORD give, the encoding (always UTF8) and debug options.
void appendLibpqKeywords(QList<TOvKnownParam> &Params)
{
    static const QStringList excluded{QStringLiteral("host"),           QStringLiteral("hostaddr"),
                                      QStringLiteral("port"),           QStringLiteral("dbname"),
                                      QStringLiteral("user"),           QStringLiteral("password"),
                                      QStringLiteral("client_encoding")};
    PQconninfoOption *options = PQconndefaults();
    for (PQconninfoOption *o = options; o && o->keyword; ++o) {
        const QString keyword = QString::fromLatin1(o->keyword);
        if (excluded.contains(keyword) || (o->dispchar && o->dispchar[0] == 'D'))
            continue;
        const bool listed = std::any_of(Params.cbegin(), Params.cend(),
                                        [&](const TOvKnownParam &P) { return P.Name == keyword; });
        if (!listed)
            Params.append({keyword, QString::fromUtf8(o->label ? o->label : "")});
    }
    PQconninfoFree(options);
}

} // namespace

QList<TOvKnownParam> KnownConnectParams(TOvServerType ServerType)
{
    switch (ServerType) {
    case TOvServerType::stSQLite:
        return {
            {QStringLiteral("CREATE"),
             tr("Create the database file when it does not exist (true/false, 1/0, yes/no)")},
            {QStringLiteral("READONLY"), tr("Open the database for reading only (true/false)")},
            {QStringLiteral("BUSY TIMEOUT"),
             tr("Milliseconds to wait for a database locked by another connection "
                "(default 5000)")},
            {QStringLiteral("MAX RESULT MB"),
             tr("The most of a query's result a dataset holds in memory, in megabytes "
                "(default 1024)")},
        };
    case TOvServerType::stPostgreSQL: {
        QList<TOvKnownParam> params{
            {QStringLiteral("USER NAME"), tr("The user to log in as")},
            {QStringLiteral("PASSWORD"), tr("The user's password")},
            {QStringLiteral("connect_timeout"),
             tr("Seconds to wait for the connection (default 5)")},
            {QStringLiteral("BUSY TIMEOUT"),
             tr("Milliseconds a statement waits for a lock another session holds "
                "(default 5000)")},
            {QStringLiteral("sslmode"),
             tr("SSL use: disable, allow, prefer, require, verify-ca, verify-full")},
            {QStringLiteral("application_name"), tr("The name the server shows for the session")},
            {QStringLiteral("options"), tr("Server settings sent at start-up (-c name=value)")},
        };
        // The driver passes every other libpq keyword on; libpq describes them.
        appendLibpqKeywords(params);
        return params;
    }
    case TOvServerType::stMySQL:
        return {
            {QStringLiteral("USER NAME"), tr("The user to log in as")},
            {QStringLiteral("PASSWORD"), tr("The user's password")},
            {QStringLiteral("port"), tr("The server's TCP port (default 3306)")},
            {QStringLiteral("socket"), tr("The local server's socket file")},
            {QStringLiteral("connect_timeout"),
             tr("Seconds to wait for the connection (default 5)")},
            {QStringLiteral("ssl"), tr("Refuse a connection without TLS (true/false)")},
            {QStringLiteral("ssl_ca"), tr("File of the certificate authorities to trust")},
            {QStringLiteral("ssl_capath"), tr("Folder of the certificate authorities to trust")},
            {QStringLiteral("ssl_cert"), tr("The client's certificate file")},
            {QStringLiteral("ssl_key"), tr("The client's private key file")},
            {QStringLiteral("ssl_cipher"), tr("The ciphers TLS may use")},
            {QStringLiteral("ssl_crl"), tr("File of revoked certificates")},
            {QStringLiteral("ssl_verify_server_cert"),
             tr("Check the server's certificate and host name (true/false)")},
            {QStringLiteral("tls_version"), tr("The TLS versions to offer (TLSv1.2,TLSv1.3)")},
            {QStringLiteral("lock_wait_timeout"),
             tr("Seconds a statement waits for a table another session locked (default 10)")},
            {QStringLiteral("innodb_lock_wait_timeout"),
             tr("Seconds a statement waits for a row another session locked (default 10)")},
            {QStringLiteral("max_statement_time"),
             tr("Seconds after which a statement is stopped (default 0: no limit)")},
        };
    }
    return {};
}

// --- PostgreSQL remote database texts

namespace {

struct ConnInfoItem
{
    QString Key;
    QString Value;
};

bool isUri(const QString &Text)
{
    return Text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
           || Text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// libpq's connection-string syntax: keyword = value pairs separated by
// blanks; a value is single-quoted (a backslash escapes the next character)
// or runs to the next blank. False for text that does not follow it.
bool parseConnInfo(const QString &Text, QList<ConnInfoItem> &Items)
{
    const qsizetype n = Text.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && Text.at(i).isSpace())
            ++i;
    };
    for (;;) {
        skipBlanks();
        if (i >= n)
            return !Items.isEmpty();
        ConnInfoItem item;
        while (i < n && Text.at(i) != u'=' && !Text.at(i).isSpace())
            item.Key += Text.at(i++);
        skipBlanks();
        if (item.Key.isEmpty() || i >= n || Text.at(i) != u'=')
            return false;
        ++i;
        skipBlanks();
        if (i < n && Text.at(i) == u'\'') {
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar c = Text.at(i++);
                if (c == u'\\' && i < n) {
                    item.Value += Text.at(i++);
                } else if (c == u'\'') {
                    closed = true;
                    break;
                } else {
                    item.Value += c;
                }
            }
            if (!closed)
                return false;
        } else {
            while (i < n && !Text.at(i).isSpace()) {
                const QChar c = Text.at(i++);
                if (c == u'\\' && i < n)
                    item.Value += Text.at(i++);
                else
                    item.Value += c;
            }
        }
        Items.append(item);
    }
}

QString quoteConnValue(const QString &Value)
{
    bool plain = !Value.isEmpty();
    for (const QChar c : Value) {
        if (c.isSpace() || c == u'\'' || c == u'\\') {
            plain = false;
            break;
        }
    }
    if (plain)
        return Value;
    QString escaped = Value;
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    escaped.replace(QLatin1String("'"), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString connValue(const QList<ConnInfoItem> &Items, const char *Key)
{
    // libpq takes the last occurrence of a keyword.
    for (qsizetype i = Items.size() - 1; i >= 0; --i) {
        if (Items.at(i).Key == QLatin1String(Key))
            return Items.at(i).Value;
    }
    return QString();
}

void setConnValue(QList<ConnInfoItem> &Items, const char *Key, const QString &Value)
{
    const QString key = QLatin1String(Key);
    bool placed = false;
    for (qsizetype i = 0; i < Items.size();) {
        if (Items.at(i).Key != key) {
            ++i;
        } else if (!placed && !Value.isEmpty()) {
            Items[i].Value = Value;
            placed = true;
            ++i;
        } else {
            Items.removeAt(i);
        }
    }
    if (!placed && !Value.isEmpty())
        Items.append({key, Value});
}

TOvPgAddress parseShortForm(const QString &Text)
{
    TOvPgAddress address;
    // The first "/" ends the server part; for a socket folder ("/run/pg/db")
    // the last one does.
    const qsizetype slash = Text.startsWith(u'/') ? Text.lastIndexOf(u'/') : Text.indexOf(u'/');
    if (slash < 0) {
        address.Database = Text;
        return address;
    }
    const QString server = Text.left(slash);
    address.Database = Text.mid(slash + 1);
    if (server.startsWith(u'[')) {
        const qsizetype close = server.indexOf(u']');
        if (close > 0) {
            address.Host = server.mid(1, close - 1);
            const QString rest = server.mid(close + 1);
            if (rest.startsWith(u':'))
                address.Port = rest.mid(1);
            return address;
        }
    }
    const qsizetype colon = server.lastIndexOf(u':');
    // A socket folder has no port; more than one ":" is an IPv6 address
    // written without brackets.
    if (colon >= 0 && server.indexOf(u':') == colon && !server.startsWith(u'/')) {
        address.Host = server.left(colon);
        address.Port = server.mid(colon + 1);
    } else {
        address.Host = server;
    }
    return address;
}

} // namespace

TOvPgAddress ParsePgRemoteDatabase(const QString &Value)
{
    const QString text = Value.trimmed();
    if (isUri(text)) {
        const QUrl url(text);
        TOvPgAddress address;
        address.Host = url.host(QUrl::FullyDecoded);
        if (url.port() >= 0)
            address.Port = QString::number(url.port());
        address.Database = url.path(QUrl::FullyDecoded).mid(1);
        return address;
    }
    QList<ConnInfoItem> items;
    if (text.contains(u'=') && parseConnInfo(text, items)) {
        return {connValue(items, "host"), connValue(items, "port"), connValue(items, "dbname")};
    }
    return parseShortForm(text);
}

QString ComposePgRemoteDatabase(const TOvPgAddress &Address, const QString &Original)
{
    const QString host = Address.Host.trimmed();
    const QString port = Address.Port.trimmed();
    const QString database = Address.Database.trimmed();
    const QString original = Original.trimmed();
    if (isUri(original)) {
        QUrl url(original);
        url.setHost(host);
        bool ok = false;
        const int number = port.toInt(&ok);
        url.setPort(ok ? number : -1);
        url.setPath(database.isEmpty() ? QString() : QLatin1Char('/') + database);
        return url.toString();
    }
    QList<ConnInfoItem> items;
    if (!original.contains(u'=') || !parseConnInfo(original, items)) {
        // The short form, unless it would read back differently (a port
        // without a server or with a socket folder, a "/" or "=" in a name).
        QString text = database;
        if (!host.isEmpty()) {
            QString server = host.contains(u':') ? u'[' + host + u']' : host;
            if (!port.isEmpty())
                server += u':' + port;
            text = server + u'/' + database;
        }
        if (!text.contains(u'=')
            && ParsePgRemoteDatabase(text) == TOvPgAddress{host, port, database})
            return text;
        items.clear();
    }
    setConnValue(items, "host", host);
    setConnValue(items, "port", port);
    setConnValue(items, "dbname", database);
    QStringList parts;
    for (const ConnInfoItem &item : items)
        parts.append(item.Key + QLatin1Char('=') + quoteConnValue(item.Value));
    return parts.join(u' ');
}

QString RemoteDatabaseForDisplay(const QString &Remote)
{
    if (Remote.contains(QLatin1String("://")))
        return QUrl(Remote).toDisplayString(QUrl::RemovePassword);
    static const QRegularExpression password(
        QStringLiteral(R"((\bpassword\s*=\s*)('(?:[^'\\]|\\.)*'|\S+))"),
        QRegularExpression::CaseInsensitiveOption);
    QString text = Remote;
    return text.replace(password, QStringLiteral("\\1***"));
}

QString RemoteDatabaseWithoutPassword(const QString &Remote)
{
    const QString text = Remote.trimmed();
    if (isUri(text)) {
        QUrl url(text);
        if (!url.isValid())
            return Remote.contains(u'@') ? QString() : Remote; // unreadable: keep nothing secret
        bool changed = false;
        if (!url.password().isEmpty() || url.userInfo().contains(u':')) {
            url.setPassword(QString());
            changed = true;
        }
        QUrlQuery query(url);
        for (const auto &[key, value] : query.queryItems()) {
            if (key.compare(u"password", Qt::CaseInsensitive) == 0) {
                query.removeAllQueryItems(key);
                changed = true;
            }
        }
        if (!changed)
            return Remote;
        url.setQuery(query.isEmpty() ? QString() : query.query(QUrl::FullyEncoded),
                     QUrl::TolerantMode);
        return url.toString();
    }
    QList<ConnInfoItem> items;
    if (!text.contains(u'=') || !parseConnInfo(text, items))
        return Remote;
    const qsizetype before = items.size();
    items.removeIf([](const ConnInfoItem &Item) { return Item.Key == u"password"; });
    if (items.size() == before)
        return Remote;
    QStringList parts;
    for (const ConnInfoItem &item : std::as_const(items))
        parts.append(item.Key + QLatin1Char('=') + quoteConnValue(item.Value));
    return parts.join(u' ');
}
