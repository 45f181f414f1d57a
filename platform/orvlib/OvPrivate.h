#pragma once

// Library-internal registries and helpers; not part of the public headers.

#include <QList>
#include <QString>
#include <QVariant>

class TIndexDefs;
class TOvDatabase;
class TOvDriver;
class TParams;
struct TOvIndexColumn;

namespace ovlib {

// Every live database component, in creation order.
QList<TOvDatabase *> &allDatabases();

// A statement with :name markers rewritten into the driver's placeholders,
// and the values to bind in placeholder order.
struct BoundStatement
{
    QString sql;
    QVariantList values;
};
// Rewrites SQL for Driver, taking each marker's value from Params (a marker
// without a parameter raises). Markers inside literals, quoted names and
// comments are left alone.
BoundStatement bindParams(const QString &SQL, const TParams *Params, const TOvDriver &Driver,
                          const QString &Owner);

// Replaces Defs with the indexes of Columns (index information, ordered by
// index and position): one definition per index, the primary key named
// SPrimary(), its key columns ";" separated, its options from the index type.
void fillIndexDefs(const QList<TOvIndexColumn> &Columns, TIndexDefs &Defs);

// Wildcard match of a name: "*" any run, "?" one character, case ignored;
// every other character (also "%" and "_") matches itself. Empty Pattern
// matches all.
bool matchesPattern(const QString &Name, const QString &Pattern);

} // namespace ovlib
