#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

#include <QStringBuilder>

#include <map>
#include <optional>
#include <unordered_map>
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
    bool insert(QStringView Name) { return insert(Name, NameHash()(Name)); }
    // The same with the name's hash (NameHash) known.
    bool insert(QStringView Name, size_t Hash)
    {
        if (m_names.size() * 2 >= m_slots.size())
            grow();
        const size_t hash = Hash;
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const uint32_t slot = m_slots[i];
            if (slot == 0) {
                if (m_names.size() >= kIndexMask)
                    return linearInsert(Name);
                m_names.push_back(Name);
                m_slots[i] = tagOf(hash) | uint32_t(m_names.size());
                return true;
            }
            if ((slot & ~kIndexMask) == tagOf(hash)
                && sameName(m_names[(slot & kIndexMask) - 1], Name))
                return false;
        }
    }

    // Starts loading the slot where a name of hash Hash is looked up: a
    // large set is read at random places, so that look-ups announced ahead
    // wait for memory together rather than one after the other.
    void prefetch(size_t Hash) const { __builtin_prefetch(&m_slots[Hash & (m_slots.size() - 1)]); }

private:
    static constexpr uint32_t kIndexMask = 0x00ffffff;
    static uint32_t tagOf(size_t Hash) { return uint32_t(Hash >> 56) << 24; }

    // Beyond 16 million names (never in practice): a plain search.
    bool linearInsert(QStringView Name)
    {
        for (QStringView name : m_names) {
            if (sameName(name, Name))
                return false;
        }
        m_names.push_back(Name);
        return true;
    }

    void grow()
    {
        std::vector<uint32_t> table(m_slots.size() * 2, 0);
        const size_t mask = table.size() - 1;
        const size_t count = std::min(m_names.size(), size_t(kIndexMask));
        for (size_t n = 0; n < count; ++n) {
            const size_t hash = NameHash()(m_names[n]);
            size_t i = hash & mask;
            while (table[i] != 0)
                i = (i + 1) & mask;
            table[i] = tagOf(hash) | uint32_t(n + 1);
        }
        m_slots.swap(table);
    }

    std::vector<uint32_t> m_slots; // tag | (index + 1) into m_names; 0 is free
    std::vector<QStringView> m_names;
};

// Resolves select-list items to the tables of the from clause. Column lists
// of tables are read from the database when it is connected, at most once
// per table. Every look-up costs constant time after one pass over the
// tables, so that a select of thousands of tables and qualified stars stays
// linear.
class Resolver
{
public:
    Resolver(const TOvSelectInfo &Info, TOvDatabase *Db)
        : m_info(Info)
        , m_db(Db)
    {}

    // The table Qualifier names: the first table whose alias it is, or,
    // for a table without alias, whose name or last part of the name it
    // is. Null when none does or it names a subquery.
    const TOvSelectInfo::Table *tableFor(QStringView Qualifier)
    {
        if (!m_qualifiers) {
            m_qualifiers.emplace();
            m_qualifiers->reserve(m_info.tables.size() * 2);
            for (qsizetype i = 0; i < m_info.tables.size(); ++i) {
                const TOvSelectInfo::Table &t = m_info.tables.at(i);
                if (!t.alias.isEmpty()) {
                    m_qualifiers->try_emplace(t.alias, i);
                } else if (!t.name.isEmpty()) {
                    m_qualifiers->try_emplace(t.name, i);
                    m_qualifiers->try_emplace(t.object, i);
                }
            }
        }
        const auto it = m_qualifiers->find(Qualifier);
        if (it == m_qualifiers->end())
            return nullptr;
        const TOvSelectInfo::Table &t = m_info.tables.at(it->second);
        return t.name.isEmpty() ? nullptr : &t;
    }

    // The one table of the from clause that has Column; null when none or
    // several have it, or when that cannot be known.
    const TOvSelectInfo::Table *tableOfColumn(QStringView Column)
    {
        if (m_info.tables.size() == 1) {
            const TOvSelectInfo::Table &t = m_info.tables.front();
            return t.name.isEmpty() ? nullptr : &t;
        }
        if (!m_owners) {
            m_owners.emplace();
            for (qsizetype i = 0; i < m_info.tables.size(); ++i) {
                const TOvSelectInfo::Table &t = m_info.tables.at(i);
                const QStringList *cols = t.name.isEmpty() ? nullptr : columns(t);
                if (!cols) {
                    // A subquery may have any column; unknown columns likewise.
                    m_owners->clear();
                    m_ownersKnown = false;
                    break;
                }
                for (const QString &c : *cols) {
                    const auto [it, added] = m_owners->try_emplace(QStringView(c), i);
                    if (!added && it->second != i)
                        it->second = -1; // ambiguous
                }
            }
        }
        if (!m_ownersKnown)
            return nullptr;
        const auto it = m_owners->find(Column);
        return it == m_owners->end() || it->second < 0 ? nullptr : &m_info.tables.at(it->second);
    }

    // The columns of Table, or null when the database cannot say.
    const QStringList *columns(const TOvSelectInfo::Table &Table)
    {
        if (!m_db || !m_db->Connected() || Table.text.isEmpty())
            return nullptr;
        const QString key = Table.text.toString();
        auto it = m_cache.find(key);
        if (it == m_cache.end()) {
            QStringList names;
            try {
                // As written: a quoted "a.b" is one table, not b of owner a.
                names = m_db->Driver().ColumnNames(key);
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
    // Qualifier (letter case ignored) to the index of its table.
    std::optional<std::unordered_map<QStringView, qsizetype, NameHash, NameEqual>> m_qualifiers;
    // Column (letter case ignored) to the index of the one table that has
    // it, -1 when several have it.
    // The names are views into m_cache, whose lists stay put.
    std::optional<std::unordered_map<QStringView, qsizetype, NameHash, NameEqual>> m_owners;
    bool m_ownersKnown = true;
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
            const QStringView key = t.alias.isEmpty() ? t.text : t.alias;
            // A name holding "=" would read back as another name and value.
            if (t.text.isEmpty() || key.contains(QLatin1Char('=')) || !seen.insert(t.text).second)
                continue;
            TableInfo->Add(key % QLatin1Char('=') % t.text);
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
        FieldInfo->SetCapacity(FieldInfo->Count() + int(info.fields.size()));
    }
    UpdateScope fieldScope(FieldInfo), unresolvedScope(Unresolved);
    // Fields wait in small batches, their slots in the name set requested
    // together: the set of a long select list outgrows the caches, and one
    // look-up after the other would each wait for memory alone. The fields
    // are added in order; an unresolved name first adds the fields before it.
    struct Pending
    {
        QStringView name, table, column;
        size_t hash;
    };
    constexpr int batchSize = 16;
    Pending pending[batchSize];
    int pendingCount = 0;
    auto flush = [&] {
        for (int i = 0; i < pendingCount; ++i) {
            const Pending &p = pending[i];
            if (listed.insert(p.name, p.hash))
                FieldInfo->Add(p.name % QLatin1Char('=') % p.table % QLatin1Char('.') % p.column);
        }
        pendingCount = 0;
    };
    auto unresolved = [&](QStringView Name) {
        flush();
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
        const size_t hash = NameHash()(Name);
        listed.prefetch(hash);
        pending[pendingCount++] = {Name, Table, Column, hash};
        if (pendingCount == batchSize)
            flush();
    };

    // Table texts keep their quotes ("a.b".c): the origin names the table
    // the statement read, and the editor can address it again.
    auto expand = [&](const TOvSelectInfo::Table &t) {
        const QStringList *cols = resolver.columns(t);
        if (cols) {
            for (const QString &c : *cols)
                addField(c, t.text, c);
        }
        return cols != nullptr;
    };
    for (const TOvSelectInfo::Field &f : info.fields) {
        if (f.star) {
            bool expanded = false;
            if (f.qualifier.isEmpty()) {
                for (const TOvSelectInfo::Table &t : info.tables)
                    expanded = expand(t) || expanded;
            } else if (const TOvSelectInfo::Table *t = resolver.tableFor(f.qualifier)) {
                expanded = expand(*t);
            }
            if (!expanded)
                unresolved(f.text);
            continue;
        }
        if (f.column.isEmpty()) {
            unresolved(f.name.isEmpty() ? f.text : f.name);
            continue;
        }
        const TOvSelectInfo::Table *table = f.qualifier.isEmpty()
                                                ? resolver.tableOfColumn(f.column)
                                                : resolver.tableFor(f.qualifier);
        if (!table)
            unresolved(f.name);
        else
            addField(f.name, table->text, f.column);
    }
    flush();
}
