#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The structure of a select statement, as far as field origins need it.
struct TOvSelectInfo
{
    // A table of the from clause (joins included, in order of appearance).
    struct Table
    {
        QString name;  // as written, parts joined by ".", quotes removed; empty for a subquery or
                       // function
        QString alias; // as written (quotes removed); empty when there is none
    };
    // An item of the select list.
    struct Field
    {
        QString name; // result field name: the alias, else the column name; empty for an unnamed
                      // expression
        QString
            qualifier;  // table or alias before the column ("sales.customer" for sales.customer.id)
        QString column; // the column read; empty when the item is an expression
        bool star = false; // "*" or "qualifier.*"
        QStringView text;  // the item as written (a view into the statement)
    };
    bool isSelect = false;
    QList<Table> tables;
    QList<Field> fields;
};

// Parses the first select of SQL (after an optional with clause): its select
// list and its from clause. Never fails; what it cannot read is left out.
// Time and memory are linear in the length of the text. The result's views
// point into SQL.
TOvSelectInfo ParseSelectStatement(const QString &SQL);
