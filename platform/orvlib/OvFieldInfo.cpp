#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

#include <QSet>
#include <QStringBuilder>

#include <map>

namespace {

// Resolves select-list items to the tables of the from clause. Column lists
// of tables are read from the database when it is connected, at most once
// per table.
class Resolver
{
public:
    Resolver(const TOvSelectInfo &Info, TOvDatabase *Db)
        : m_info(Info)
        , m_db(Db)
    {}

    // The table (as written) that Qualifier names; empty when none does or
    // it names a subquery.
    QString tableFor(const QString &Qualifier) const
    {
        for (const TOvSelectInfo::Table &t : m_info.tables) {
            if (!t.alias.isEmpty()) {
                if (SameText(t.alias, Qualifier))
                    return t.name;
            } else if (!t.name.isEmpty()
                       && (SameText(t.name, Qualifier) || SameText(lastPart(t.name), Qualifier))) {
                return t.name;
            }
        }
        return QString();
    }

    // The one table of the from clause that has Column; empty when none or
    // several have it, or when that cannot be known.
    QString tableOfColumn(const QString &Column)
    {
        if (m_info.tables.size() == 1)
            return m_info.tables.front().name;
        QString found;
        for (const TOvSelectInfo::Table &t : m_info.tables) {
            if (t.name.isEmpty())
                return QString(); // a subquery may have the column too
            const QStringList *cols = columns(t.name);
            if (!cols)
                return QString();
            if (cols->contains(Column, Qt::CaseInsensitive)) {
                if (!found.isEmpty())
                    return QString(); // ambiguous
                found = t.name;
            }
        }
        return found;
    }

    // The columns of Table, or null when the database cannot say.
    const QStringList *columns(const QString &Table)
    {
        if (!m_db || !m_db->Connected() || Table.isEmpty())
            return nullptr;
        auto it = m_cache.find(Table.toLower());
        if (it == m_cache.end()) {
            QStringList names;
            try {
                names = m_db->Driver().ColumnNames(Table);
            } catch (const Exception &) {
                return nullptr;
            }
            it = m_cache.emplace(Table.toLower(), names).first;
        }
        return &it->second;
    }

private:
    static QString lastPart(const QString &Name)
    {
        const qsizetype dot = Name.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? Name : Name.mid(dot + 1);
    }

    const TOvSelectInfo &m_info;
    TOvDatabase *m_db;
    std::map<QString, QStringList> m_cache;
};

} // namespace

void TOvDataSet::ParseFieldInfoFromSQL(const QString &SQL, TStrings *FieldInfo, TStrings *TableInfo,
                                       TStrings *Unresolved)
{
    const TOvSelectInfo info = ParseSelectStatement(SQL);
    if (!info.isSelect)
        return;

    if (TableInfo) {
        QSet<QString> seen;
        for (const TOvSelectInfo::Table &t : info.tables) {
            if (t.name.isEmpty() || seen.contains(t.name.toCaseFolded()))
                continue;
            seen.insert(t.name.toCaseFolded());
            TableInfo->Add((t.alias.isEmpty() ? t.name : t.alias) + QLatin1Char('=') + t.name);
        }
    }

    // Only a database that is already connected is asked for columns.
    TOvDatabase *db = Database();
    if (!db) {
        if (TOvSession *s = Sessions().FindSession(SessionName()))
            db = s->FindDatabase(DatabaseName());
    }
    Resolver resolver(info, db);

    // Field names already listed (the list may hold entries from before).
    QSet<QString> listed;
    listed.reserve(qsizetype(info.fields.size()));
    if (FieldInfo) {
        for (int i = 0; i < FieldInfo->Count(); ++i)
            listed.insert(FieldInfo->Names(i).toCaseFolded());
    }
    auto addField = [&](const QString &Name, const QString &Table, const QString &Column) {
        if (!FieldInfo || Name.isEmpty())
            return;
        const qsizetype before = listed.size();
        listed.insert(Name.toCaseFolded());
        if (listed.size() == before)
            return; // a field of that name is listed already
        FieldInfo->Add(Name % QLatin1Char('=') % Table % QLatin1Char('.') % Column);
    };
    auto unresolved = [&](const QString &Name) {
        if (Unresolved)
            Unresolved->Add(Name);
    };

    // One change notification for the whole fill.
    struct Bracket
    {
        TStrings *list;
        Bracket(TStrings *L)
            : list(L)
        {
            if (list)
                list->BeginUpdate();
        }
        ~Bracket()
        {
            if (list)
                list->EndUpdate();
        }
    } fieldBracket(FieldInfo), unresolvedBracket(Unresolved);
    for (const TOvSelectInfo::Field &f : info.fields) {
        if (f.star) {
            bool expanded = false;
            for (const TOvSelectInfo::Table &t : info.tables) {
                if (!f.qualifier.isEmpty() && resolver.tableFor(f.qualifier) != t.name)
                    continue;
                if (const QStringList *cols = resolver.columns(t.name)) {
                    for (const QString &c : *cols)
                        addField(c, t.name, c);
                    expanded = true;
                }
            }
            if (!expanded)
                unresolved(f.text.toString());
            continue;
        }
        if (f.column.isEmpty()) {
            unresolved(f.name.isEmpty() ? f.text.toString() : f.name);
            continue;
        }
        const QString table = f.qualifier.isEmpty() ? resolver.tableOfColumn(f.column)
                                                    : resolver.tableFor(f.qualifier);
        if (table.isEmpty())
            unresolved(f.name);
        else
            addField(f.name, table, f.column);
    }
}
