#include "SysUtils.h"

Exception::Exception(const QString &Message)
    : std::runtime_error(Message.toStdString())
    , m_message(Message)
    , m_what(Message.toUtf8())
{}

void Exception::SetPlace(const QString &Place)
{
    if (!m_place.isEmpty() || Place.isEmpty())
        return;
    m_place = Place;
    m_message = Place + QStringLiteral(": ") + m_message;
    m_what = m_message.toUtf8();
}

void raiseInvalidCast(const QObject *Obj, const char *TargetClass)
{
    throw EInvalidCast(QStringLiteral("Invalid class typecast: %1 is not a %2")
                           .arg(QString::fromLatin1(Obj->metaObject()->className()),
                                QString::fromLatin1(TargetClass)));
}

int CompareText(const QString &S1, const QString &S2)
{
    return QString::compare(S1, S2, Qt::CaseInsensitive);
}

bool SameText(const QString &S1, const QString &S2)
{
    // Letter case folds one UTF-16 unit to one: texts of different lengths
    // never match, and that is the usual answer.
    return S1.size() == S2.size() && CompareText(S1, S2) == 0;
}

QString Trim(const QString &S)
{
    const QStringView t = TrimView(S);
    return t.size() == S.size() ? S : t.toString();
}

QStringView TrimView(QStringView S)
{
    qsizetype first = 0;
    qsizetype last = S.size();
    while (first < last && S.at(first).unicode() <= u' ')
        ++first;
    while (last > first && S.at(last - 1).unicode() <= u' ')
        --last;
    return S.sliced(first, last - first);
}

QString FoldCase(const QString &S)
{
    qsizetype upper = -1;
    for (qsizetype i = 0; i < S.size(); ++i) {
        const char16_t c = S.at(i).unicode();
        if (c >= 0x80)
            return S.toCaseFolded();
        if (upper < 0 && c >= u'A' && c <= u'Z')
            upper = i;
    }
    if (upper < 0)
        return S;
    // In ASCII only the capital letters fold, each to its small letter.
    QString folded = S;
    QChar *d = folded.data();
    for (qsizetype i = upper; i < folded.size(); ++i)
        if (d[i].unicode() >= u'A' && d[i].unicode() <= u'Z')
            d[i] = QChar(d[i].unicode() + (u'a' - u'A'));
    return folded;
}

bool TryStrToInt(const QString &S, int &Value)
{
    const QString text = Trim(S);
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text.at(i) == u'0'
               && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    // Decimal numbers must fit a signed 32-bit integer; hexadecimal ones may use
    // all 32 bits ("0xFFFFFFFF" is -1), as the class libraries read them.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    const qint64 signedValue = base == 16 ? static_cast<qint32>(static_cast<quint32>(magnitude))
                                          : static_cast<qint64>(magnitude);
    Value = static_cast<int>(negative ? -signedValue : signedValue);
    return true;
}

int StrToIntDef(const QString &S, int Default)
{
    int value;
    return TryStrToInt(S, value) ? value : Default;
}

const QChar PathDelim = u'/';
const QString sLineBreak = QStringLiteral("\n");

QDateTime Now()
{
    return QDateTime::currentDateTime();
}

qint64 DateTimeToFileDate(const QDateTime &DateTime)
{
    return DateTime.toSecsSinceEpoch();
}
