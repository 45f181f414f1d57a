#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <deque>

// The structure of a select statement, as far as field origins need it.
// Names are views into the statement text, or into the info's own storage
// where quotes had to be undone or parts joined; the info is therefore
// move-only, and the statement must outlive it.
struct TOvSelectInfo
{
    // A table of the from clause (joins included, in order of appearance).
    struct Table
    {
        // As written, parts joined by ".", quotes removed; empty for a
        // subquery, a table function or a common table expression.
        QStringView name;
        // As written, parts joined by "."; a part written in quotes (of any
        // kind) keeps them, as double quotes, so that "a.b" stays one name.
        // Empty where name is.
        QStringView text;
        // The last part of the name, quotes removed.
        QStringView object;
        // As written (quotes removed); empty when there is none.
        QStringView alias;
    };
    // An item of the select list.
    struct Field
    {
        // The result field name: the alias, else the column name; empty for
        // an unnamed expression.
        QStringView name;
        // The table or alias before the column ("sales.customer" for
        // sales.customer.id); empty when there is none.
        QStringView qualifier;
        // The column read; empty when the item is an expression.
        QStringView column;
        bool star = false; // "*" or "qualifier.*"
        QStringView text;  // the item as written
    };
    bool isSelect = false;
    QList<Table> tables;
    QList<Field> fields;
    std::deque<QString> storage; // texts the views above may point into

    TOvSelectInfo() = default;
    TOvSelectInfo(TOvSelectInfo &&) = default;
    TOvSelectInfo &operator=(TOvSelectInfo &&) = default;
    TOvSelectInfo(const TOvSelectInfo &) = delete;
    TOvSelectInfo &operator=(const TOvSelectInfo &) = delete;
};

// Parses the first select of SQL (after an optional with clause): its select
// list and its from clause. A table of the from clause that names a common
// table expression of the with clause is read as a subquery. Never fails; what it cannot read is left out.
// Time and memory are linear in the length of the text. The result's views
// point into SQL (and into the result's storage).
TOvSelectInfo ParseSelectStatement(const QString &SQL);
