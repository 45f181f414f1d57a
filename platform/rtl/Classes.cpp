#include "Classes.h"
#include "SysUtils.h"

#include <QIODevice>

#include <algorithm>

namespace {

// Ends an update bracket also when an exception passes.
class UpdateBracket
{
public:
    explicit UpdateBracket(TStrings &List)
        : m_list(List)
    {
        m_list.BeginUpdate();
    }
    ~UpdateBracket() { m_list.EndUpdate(); }
    UpdateBracket(const UpdateBracket &) = delete;
    UpdateBracket &operator=(const UpdateBracket &) = delete;

private:
    TStrings &m_list;
};

bool lessText(const QString &A, const QString &B)
{
    return CompareText(A, B) < 0;
}

} // namespace

TStrings::~TStrings() = default;

void TStrings::checkIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1); the list holds %2 entries")
                             .arg(Index)
                             .arg(Count()));
}

void TStrings::beginChange()
{
    if (m_updateCount == 0) {
        Changing();
    } else if (!m_changedInUpdate) {
        m_changedInUpdate = true;
        Changing();
    }
}

void TStrings::endChange()
{
    if (m_updateCount == 0)
        Changed();
}

void TStrings::BeginUpdate()
{
    ++m_updateCount;
}

void TStrings::EndUpdate()
{
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0 && m_changedInUpdate) {
        m_changedInUpdate = false;
        Changed();
    }
}

QString TStrings::Strings(int Index) const
{
    checkIndex(Index);
    return m_items.at(Index);
}

void TStrings::Put(int Index, const QString &S)
{
    checkIndex(Index);
    beginChange();
    m_items[Index] = S;
    endChange();
}

int TStrings::Add(QString S)
{
    const int index = Count();
    TStrings::Insert(index, std::move(S));
    return index;
}

void TStrings::Insert(int Index, QString S)
{
    if (Index < 0 || Index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1); the list holds %2 entries")
                             .arg(Index)
                             .arg(Count()));
    beginChange();
    m_items.insert(Index, std::move(S));
    endChange();
}

void TStrings::Delete(int Index)
{
    checkIndex(Index);
    beginChange();
    m_items.removeAt(Index);
    endChange();
}

void TStrings::Clear()
{
    if (m_items.isEmpty())
        return;
    beginChange();
    m_items.clear();
    endChange();
}

void TStrings::Move(int CurIndex, int NewIndex)
{
    checkIndex(CurIndex);
    checkIndex(NewIndex);
    if (CurIndex == NewIndex)
        return;
    beginChange();
    m_items.move(CurIndex, NewIndex);
    endChange();
}

void TStrings::Exchange(int Index1, int Index2)
{
    checkIndex(Index1);
    checkIndex(Index2);
    if (Index1 == Index2)
        return;
    beginChange();
    m_items.swapItemsAt(Index1, Index2);
    endChange();
}

void TStrings::AddStrings(const TStrings &Strings)
{
    AddStrings(Strings.m_items);
}

void TStrings::AddStrings(const QStringList &Strings)
{
    // A copy: Strings may be this list's own items.
    const QStringList source = Strings;
    UpdateBracket bracket(*this);
    for (const QString &s : source)
        Add(s);
}

void TStrings::Assign(const TStrings &Source)
{
    if (&Source == this)
        return;
    Assign(Source.m_items);
}

void TStrings::Assign(const QStringList &Source)
{
    const QStringList source = Source;
    UpdateBracket bracket(*this);
    Clear();
    for (const QString &s : source)
        Add(s);
}

int TStrings::IndexOf(const QString &S) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(m_items.at(i), S))
            return i;
    return -1;
}

int TStrings::IndexOfName(const QString &Name) const
{
    for (int i = 0; i < Count(); ++i) {
        const QString &s = m_items.at(i);
        const qsizetype p = s.indexOf(u'=');
        if (p >= 0 && QStringView(s).left(p).compare(Name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TStrings::Names(int Index) const
{
    const QString s = Strings(Index);
    const qsizetype p = s.indexOf(u'=');
    return p >= 0 ? s.left(p) : QString();
}

QString TStrings::Values(const QString &Name) const
{
    const int i = IndexOfName(Name);
    return i >= 0 ? ValueFromIndex(i) : QString();
}

void TStrings::SetValues(const QString &Name, const QString &Value)
{
    const int i = IndexOfName(Name);
    if (Value.isEmpty()) {
        if (i >= 0)
            Delete(i);
    } else if (i < 0) {
        Add(Name + u'=' + Value);
    } else {
        Put(i, Name + u'=' + Value);
    }
}

QString TStrings::ValueFromIndex(int Index) const
{
    const QString s = Strings(Index);
    const qsizetype p = s.indexOf(u'=');
    return p >= 0 ? s.mid(p + 1) : QString();
}

QString TStrings::Text() const
{
    QString result;
    for (const QString &s : m_items) {
        result += s;
        result += sLineBreak;
    }
    return result;
}

void TStrings::SetText(const QString &Value)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = Value.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = Value.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(Value.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && Value.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(Value.mid(start));
    Assign(lines);
}

QString TStrings::CommaText() const
{
    if (Count() == 1 && m_items.first().isEmpty())
        return QStringLiteral("\"\"");
    QStringList parts;
    for (const QString &s : m_items) {
        const bool quote = std::any_of(s.begin(), s.end(), [](QChar c) {
            return c.unicode() <= u' ' || c == u',' || c == u'"';
        });
        if (quote)
            parts.append(u'"' + QString(s).replace(QStringLiteral("\""), QStringLiteral("\"\""))
                         + u'"');
        else
            parts.append(s);
    }
    return parts.join(u',');
}

void TStrings::SaveToStream(QIODevice &Stream) const
{
    const QByteArray bytes = Text().toUtf8();
    if (Stream.write(bytes) != bytes.size())
        throw EStreamError(QStringLiteral("Stream write error: %1").arg(Stream.errorString()));
}

void TStrings::LoadFromStream(QIODevice &Stream)
{
    QByteArray bytes = Stream.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    SetText(QString::fromUtf8(bytes));
}

// --- TStringList

void TStringList::SetSorted(bool Value)
{
    if (Value == m_sorted)
        return;
    if (Value)
        Sort();
    m_sorted = Value;
}

void TStringList::Sort()
{
    if (Count() < 2 || std::is_sorted(items().begin(), items().end(), lessText))
        return;
    beginChange();
    std::stable_sort(items().begin(), items().end(), lessText);
    endChange();
}

bool TStringList::Find(const QString &S, int &Index) const
{
    const QStringList &list = toStringList();
    const auto it = std::lower_bound(list.begin(), list.end(), S, lessText);
    Index = static_cast<int>(it - list.begin());
    return it != list.end() && SameText(*it, S);
}

int TStringList::Add(QString S)
{
    if (!m_sorted)
        return TStrings::Add(std::move(S));
    int index;
    if (Find(S, index)) {
        switch (m_duplicates) {
        case TDuplicates::dupIgnore:
            return index;
        case TDuplicates::dupError:
            throw EListError(
                QStringLiteral("String list does not allow duplicates: \"%1\"").arg(S));
        case TDuplicates::dupAccept: {
            // After the entries equal to S, so equal entries keep their order of arrival.
            const QStringList &list = toStringList();
            index = static_cast<int>(std::upper_bound(list.begin(), list.end(), S, lessText)
                                     - list.begin());
            break;
        }
        }
    }
    TStrings::Insert(index, std::move(S));
    return index;
}

void TStringList::Insert(int Index, QString S)
{
    if (m_sorted)
        throw EListError(QStringLiteral("Operation not allowed on sorted list"));
    TStrings::Insert(Index, std::move(S));
}

void TStringList::Put(int Index, const QString &S)
{
    if (!m_sorted)
        return TStrings::Put(Index, S);
    // A sorted list moves the entry to where its new text belongs; a refused
    // duplicate leaves the list as it was.
    checkIndex(Index);
    int found;
    if (m_duplicates == TDuplicates::dupError && Find(S, found) && !SameText(Strings(Index), S))
        throw EListError(QStringLiteral("String list does not allow duplicates: \"%1\"").arg(S));
    UpdateBracket bracket(*this);
    Delete(Index);
    Add(S);
}

int TStringList::IndexOf(const QString &S) const
{
    if (!m_sorted)
        return TStrings::IndexOf(S);
    int index;
    return Find(S, index) ? index : -1;
}

void TStringList::Changing()
{
    if (OnChanging)
        OnChanging(Owner);
}

void TStringList::Changed()
{
    if (OnChange)
        OnChange(Owner);
}
