#pragma once

#include "orvlib/OvDB.h"

#include "common/TestSupport.h"

#include <QObject>

#include <memory>
#include <ostream>

// Readable QStrings in failure messages.
inline void PrintTo(const QString &S, std::ostream *Os)
{
    *Os << '"' << S.toStdString() << '"';
}

// A SQLite database file in a temporary folder, reached through a database
// component named "Shop" in the default session. The schema covers the
// catalogue cases: a rowid primary key, a composite primary key, unique
// indexes, mixed-case and quoted names, a view, and names with "_".
class SQLiteShop
{
public:
    SQLiteShop();
    ~SQLiteShop();

    QString file() const { return m_dir.file(QStringLiteral("shop.db")); }
    TOvDatabase *db() const { return m_db; }
    QObject *owner() const { return m_owner.get(); }
    // Runs statements through a second, independent connection.
    void exec(const QString &SQL) const;
    // A count(*) read through an independent connection.
    qint64 count(const QString &Table) const;

private:
    TempFolder m_dir;
    std::unique_ptr<QObject> m_owner;
    TOvDatabase *m_db = nullptr;
};
