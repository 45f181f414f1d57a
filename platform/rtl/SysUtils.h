#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <stdexcept>

// Base of every error the platform raises. The message says what failed and on
// what; what() gives it as UTF-8 for code that only knows std::exception.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const QString &Message);
    // "Place: text" once a place is named, else the text.
    const QString &Message() const { return m_message; }
    // Where it failed as a person finds it in the designer, "qOrders.SQL";
    // empty while no layer it passed has named one.
    const QString &Place() const { return m_place; }
    // Names the place, unless one is named already: the innermost layer
    // knows best (a query's Active fails because of its SQL), and an error
    // that passes several layers is prefixed once.
    void SetPlace(const QString &Place);
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QString m_place;
    QByteArray m_what;
};

// Runs Action; an Exception it raises leaves with Place named (see
// Exception::SetPlace) and passes on as the same object.
template<class F>
decltype(auto) RaisedAt(const QString &Place, F &&Action)
{
    try {
        return Action();
    } catch (Exception &e) {
        e.SetPlace(Place);
        throw;
    }
}

// A cast to a class the object does not belong to.
class EInvalidCast : public Exception
{
public:
    using Exception::Exception;
};

// An index outside a list, or a duplicate refused by a sorted list.
class EListError : public Exception
{
public:
    using Exception::Exception;
};

// A stream or file that could not be read or written.
class EStreamError : public Exception
{
public:
    using Exception::Exception;
};

// An ini file entry that cannot be stored, or an ini file that cannot be written.
class EIniFileException : public Exception
{
public:
    using Exception::Exception;
};

// A key that does not exist or cannot be read in the registry store.
class ERegistryException : public Exception
{
public:
    using Exception::Exception;
};

[[noreturn]] void raiseInvalidCast(const QObject *Obj, const char *TargetClass);

// The class-verifying cast: Obj as a T, or EInvalidCast when Obj is of another
// class. A null Obj gives null, as a cast of nil does.
template<class T>
T *As(QObject *Obj)
{
    if (!Obj)
        return nullptr;
    if (T *result = qobject_cast<T *>(Obj))
        return result;
    raiseInvalidCast(Obj, T::staticMetaObject.className());
}

template<class T>
const T *As(const QObject *Obj)
{
    return As<T>(const_cast<QObject *>(Obj));
}

// The is-operator: whether Obj is a T or a descendant.
template<class T>
bool Is(const QObject *Obj)
{
    return Obj && qobject_cast<const T *>(Obj) != nullptr;
}

// Text comparison ignoring letter case: <0, 0, >0.
int CompareText(const QString &S1, const QString &S2);
bool SameText(const QString &S1, const QString &S2);
// Blanks and control characters removed from both ends, as the class libraries trim.
QString Trim(const QString &S);
QStringView TrimView(QStringView S);
// S with its letter case folded as QString::toCaseFolded folds it: the key
// under which texts equal ignoring case meet. ASCII text, the usual key, is
// folded without the Unicode tables, and text with nothing to fold comes
// back shared, not copied.
QString FoldCase(const QString &S);

// A whole decimal number (optionally signed) or a hexadecimal one written "0x1F"
// or "$1F", blanks around it allowed; false for anything else or on overflow.
bool TryStrToInt(const QString &S, int &Value);
int StrToIntDef(const QString &S, int Default);

// The current local date and time.
QDateTime Now();
// A date and time as a file date: seconds since the epoch, as file times are
// kept here.
qint64 DateTimeToFileDate(const QDateTime &DateTime);

// The platform's path separator and line break.
extern const QChar PathDelim;
extern const QString sLineBreak;
