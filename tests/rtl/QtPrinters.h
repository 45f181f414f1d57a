#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &S, std::ostream *Os)
{
    *Os << '"' << S.toStdString() << '"';
}

inline void PrintTo(const QStringList &L, std::ostream *Os)
{
    *Os << '{';
    for (qsizetype i = 0; i < L.size(); ++i)
        *Os << (i ? ", \"" : "\"") << L.at(i).toStdString() << '"';
    *Os << '}';
}
