#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// Event handler taking the object that raised the event.
using TNotifyEvent = std::function<void(class QObject *Sender)>;

// An ordered list of strings with name=value access.
//
// The name of an entry is the text before its first "="; an entry without "="
// has an empty name and is never found by name. Look-ups by value (IndexOf) and
// by name (IndexOfName, Values) ignore letter case. Every change runs
// Changing() before and Changed() after it, so descendants can keep state in
// step (a component re-parsing its SQL, a sorted list).
class TStrings
{
public:
    TStrings() = default;
    TStrings(const TStrings &) = delete;
    TStrings &operator=(const TStrings &) = delete;
    virtual ~TStrings();

    int Count() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.isEmpty(); }
    // Room for Value entries without growing again: a hint before many Adds
    // (no change, no events). A value below Count() is ignored.
    void SetCapacity(int Value) { m_items.reserve(Value); }

    // Strings[i]; an index out of range raises EListError.
    QString Strings(int Index) const;
    QString operator[](int Index) const { return Strings(Index); }
    virtual void Put(int Index, const QString &S);

    // The entry is taken by value: a string made for the list moves into it.
    virtual int Add(QString S);
    virtual void Insert(int Index, QString S);
    void Delete(int Index);
    void Clear();
    void Move(int CurIndex, int NewIndex);
    void Exchange(int Index1, int Index2);
    void AddStrings(const TStrings &Strings);
    void AddStrings(const QStringList &Strings);

    // Replaces the content with a copy of Source; assigning a list to itself
    // leaves it unchanged.
    void Assign(const TStrings &Source);
    void Assign(const QStringList &Source);

    // Case-insensitive search; -1 when absent.
    virtual int IndexOf(const QString &S) const;
    int IndexOfName(const QString &Name) const;

    // The text before the first "=" of entry Index; empty without "=".
    QString Names(int Index) const;
    // The text after the first "=" of the first entry named Name; empty when absent.
    QString Values(const QString &Name) const;
    // Sets the value of Name: replaces the first entry of that name, appends a
    // new one when absent, and deletes the entry when Value is empty.
    void SetValues(const QString &Name, const QString &Value);
    QString ValueFromIndex(int Index) const;

    // Entries joined by the platform line break, each followed by one.
    QString Text() const;
    // Splits on CR LF, CR and LF; a final line break adds no empty entry.
    void SetText(const QString &Value);
    // Entries joined by a comma, quoted where they hold blanks, commas or quotes.
    QString CommaText() const;

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }

    // Writes Text() as UTF-8; raises EStreamError when the device refuses.
    void SaveToStream(QIODevice &Stream) const;
    void LoadFromStream(QIODevice &Stream);

    const QStringList &toStringList() const { return m_items; }

protected:
    // Called around every change while no BeginUpdate is pending.
    virtual void Changing() {}
    virtual void Changed() {}
    // Descendants that keep a sort order override where a new entry goes.
    virtual int insertPosition(int Requested, const QString &S)
    {
        Q_UNUSED(S);
        return Requested;
    }
    QStringList &items() { return m_items; }
    // Bracket one change: Changing() before and Changed() after it, or once per
    // BeginUpdate/EndUpdate bracket.
    void beginChange();
    void endChange();
    // Raises EListError unless 0 <= Index < Count().
    void checkIndex(int Index) const;

private:
    QStringList m_items;
    int m_updateCount = 0;
    bool m_changedInUpdate = false;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// The concrete string list: optionally sorted (case-insensitive), with a rule
// for duplicates in a sorted list and change events.
class TStringList : public TStrings
{
public:
    TStringList() = default;
    explicit TStringList(const QStringList &Items) { Assign(Items); }

    bool Sorted() const { return m_sorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates() const { return m_duplicates; }
    void SetDuplicates(TDuplicates Value) { m_duplicates = Value; }

    // Adding to a sorted list puts the entry in its place and applies the
    // duplicates rule: dupIgnore drops it (returning the existing index),
    // dupError raises EListError.
    int Add(QString S) override;
    void Insert(int Index, QString S) override;
    void Put(int Index, const QString &S) override;
    int IndexOf(const QString &S) const override;
    // Binary search of a sorted list: true when found; Index receives the
    // position of S or where it would go.
    bool Find(const QString &S, int &Index) const;
    void Sort();

    // Change events; Sender is the Owner given here (a string list is no QObject).
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;
    class QObject *Owner = nullptr;

protected:
    void Changing() override;
    void Changed() override;

private:
    bool m_sorted = false;
    TDuplicates m_duplicates = TDuplicates::dupIgnore;
};
