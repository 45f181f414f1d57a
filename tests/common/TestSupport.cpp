#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

TempFolder::TempFolder()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

void TempFolder::write(const QString &Name, const QByteArray &Content) const
{
    QFile f(file(Name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(Content) != Content.size())
        throw std::runtime_error(("cannot write " + file(Name)).toStdString());
}

QByteArray TempFolder::read(const QString &Name) const
{
    QFile f(file(Name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TempFolder::exists(const QString &Name) const
{
    return QFile::exists(file(Name));
}

bool runningUnderCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}
