#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

#include <QStringBuilder>

#include <map>
#include <unordered_set>
#include <vector>

namespace {

bool sameName(QStringView A, QStringView B)
{
    return A.size() == B.size() && A.compare(B, Qt::CaseInsensitive) == 0;
}

// Hashing and comparing names without regard to letter case, without
// making folded copies.
struct NameHash
{
    size_t operator()(QStringView S) const noexcept
    {
        size_t h = 1469598103934665603ull;
        for (QChar c : S) {
            const char16_t u = c.unicode();
            const char16_t folded = u < 0x80 ? (u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u)
                                             : c.toCaseFolded().unicode();
            h = (h ^ folded) * 1099511628211ull;
        }
        // Mix, so that names differing only in their last characters spread
        // over the low bits a table uses.
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return h;
    }
};
struct NameEqual
{
    bool operator()(QStringView A, QStringView B) const noexcept { return sameName(A, B); }
};

// A set of names (letter case ignored) in one flat table of 32-bit slots:
// the top byte holds a tag from the name's hash, the rest the name's index,
// so a probe reads a name only when the tags agree. The table stays small
// enough to be cheap also for hundreds of thousands of fields.
class NameSet
{
public:
    explicit NameSet(size_t Expected)
    {
        size_t capacity = 16;
        while (capacity < Expected * 2)
            capacity *= 2;
        m_slots.assign(capacity, 0);
        m_names.reserve(Expected);
    }
    // Adds Name; false when it was there already.
    bool insert(QStringView Name)
    {
        if (m_names.size() * 2 >= m_slots.size())
            grow();
        const size_t hash = NameHash()(Name);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const uint32_t slot = m_slots[i];
            if (slot == 0) {
                if (m_names.size() >= kIndexMask)
                    return linearInsert(Name);
                m_names.push_back({Name, hash});
                m_slots[i] = tagOf(hash) | uint32_t(m_names.size());
                return true;
            }
            if ((slot & ~kIndexMask) == tagOf(hash)
                && sameName(m_names[(slot & kIndexMask) - 1].name, Name))
                return false;
        }
    }

private:
    static constexpr uint32_t kIndexMask = 0x00ffffff;
    struct Entry
    {
        QStringView name;
        size_t hash;
    };
    static uint32_t tagOf(size_t Hash) { return uint32_t(Hash >> 56) << 24; }

    // Beyond 16 million names (never in practice): a plain search.
    bool linearInsert(QStringView Name)
    {
        for (const Entry &e : m_names) {
            if (sameName(e.name, Name))
                return false;
        }
        m_names.push_back({Name, 0});
        return true;
    }

    void grow()
    {
        std::vector<uint32_t> table(m_slots.size() * 2, 0);
        const size_t mask = table.size() - 1;
        const size_t count = std::min(m_names.size(), size_t(kIndexMask));
        for (size_t n = 0; n < count; ++n) {
            size_t i = m_names[n].hash & mask;
            while (table[i] != 0)
                i = (i + 1) & mask;
            table[i] = tagOf(m_names[n].hash) | uint32_t(n + 1);
        }
        m_slots.swap(table);
    }

    std::vector<uint32_t> m_slots; // tag | (index + 1) into m_names; 0 is free
    std::vector<Entry> m_names;
};

QStringView lastPart(QStringView Name)
{
    const qsizetype dot = Name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? Name : Name.mid(dot + 1);
}

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
    QStringView tableFor(QStringView Qualifier) const
    {
        for (const TOvSelectInfo::Table &t : m_info.tables) {
            if (!t.alias.isEmpty()) {
                if (sameName(t.alias, Qualifier))
                    return t.name;
            } else if (!t.name.isEmpty()
                       && (sameName(t.name, Qualifier) || sameName(lastPart(t.name), Qualifier))) {
                return t.name;
            }
        }
        return {};
    }

    // The one table of the from clause that has Column; empty when none or
    // several have it, or when that cannot be known.
    QStringView tableOfColumn(QStringView Column)
    {
        if (m_info.tables.size() == 1)
            return m_info.tables.front().name;
        QStringView found;
        for (const TOvSelectInfo::Table &t : m_info.tables) {
            if (t.name.isEmpty())
                return {}; // a subquery may have the column too
            const QStringList *cols = columns(t.name);
            if (!cols)
                return {};
            if (cols->contains(Column, Qt::CaseInsensitive)) {
                if (!found.isEmpty())
                    return {}; // ambiguous
                found = t.name;
            }
        }
        return found;
    }

    // The columns of Table, or null when the database cannot say.
    const QStringList *columns(QStringView Table)
    {
        if (!m_db || !m_db->Connected() || Table.isEmpty())
            return nullptr;
        const QString key = Table.toString().toCaseFolded();
        auto it = m_cache.find(key);
        if (it == m_cache.end()) {
            QStringList names;
            try {
                names = m_db->Driver().ColumnNames(Table.toString());
            } catch (const Exception &) {
                return nullptr;
            }
            it = m_cache.emplace(key, names).first;
        }
        return &it->second;
    }

private:
    const TOvSelectInfo &m_info;
    TOvDatabase *m_db;
    std::map<QString, QStringList> m_cache;
};

// Brackets a list's changes into one notification.
class UpdateScope
{
public:
    explicit UpdateScope(TStrings *List)
        : m_list(List)
    {
        if (m_list)
            m_list->BeginUpdate();
    }
    ~UpdateScope()
    {
        if (m_list)
            m_list->EndUpdate();
    }
    UpdateScope(const UpdateScope &) = delete;
    UpdateScope &operator=(const UpdateScope &) = delete;

private:
    TStrings *m_list;
};

} // namespace

void TOvDataSet::ParseFieldInfoFromSQL(const QString &SQL, TStrings *FieldInfo, TStrings *TableInfo,
                                       TStrings *Unresolved)
{
    const TOvSelectInfo info = ParseSelectStatement(SQL);
    if (!info.isSelect)
        return;

    if (TableInfo) {
        UpdateScope scope(TableInfo);
        std::unordered_set<QStringView, NameHash, NameEqual> seen;
        for (const TOvSelectInfo::Table &t : info.tables) {
            const QStringView key = t.alias.isEmpty() ? t.name : t.alias;
            // A name holding "=" would read back as another name and value.
            if (t.name.isEmpty() || key.contains(QLatin1Char('=')) || !seen.insert(t.name).second)
                continue;
            TableInfo->Add(key % QLatin1Char('=') % t.name);
        }
    }

    // Only a database that is already connected is asked for columns.
    TOvDatabase *db = Database();
    if (!db) {
        if (TOvSession *s = Sessions().FindSession(SessionName()))
            db = s->FindDatabase(DatabaseName());
    }
    Resolver resolver(info, db);

    // Field names already listed (the list may hold entries from before);
    // the first field of a name wins.
    NameSet listed(FieldInfo ? size_t(FieldInfo->Count() + info.fields.size()) : 0);
    QStringList previous;
    if (FieldInfo) {
        for (int i = 0; i < FieldInfo->Count(); ++i)
            previous << FieldInfo->Names(i);
        for (const QString &name : std::as_const(previous))
            listed.insert(name);
    }
    UpdateScope fieldScope(FieldInfo), unresolvedScope(Unresolved);
    auto unresolved = [&](QStringView Name) {
        if (Unresolved)
            Unresolved->Add(Name.toString());
    };
    auto addField = [&](QStringView Name, QStringView Table, QStringView Column) {
        if (!FieldInfo || Name.isEmpty())
            return;
        // A name holding "=" would read back as another name and value.
        if (Name.contains(QLatin1Char('='))) {
            unresolved(Name);
            return;
        }
        if (!listed.insert(Name))
            return;
        FieldInfo->Add(Name % QLatin1Char('=') % Table % QLatin1Char('.') % Column);
    };

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
                unresolved(f.text);
            continue;
        }
        if (f.column.isEmpty()) {
            unresolved(f.name.isEmpty() ? f.text : f.name);
            continue;
        }
        const QStringView table = f.qualifier.isEmpty() ? resolver.tableOfColumn(f.column)
                                                        : resolver.tableFor(f.qualifier);
        if (table.isEmpty())
            unresolved(f.name);
        else
            addField(f.name, table, f.column);
    }
}
