#include "Registry.h"
#include "IniFiles.h"
#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString &storePathOverride()
{
    static QString path;
    return path;
}

} // namespace

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

QString TRegistry::storePath()
{
    if (!storePathOverride().isEmpty())
        return storePathOverride();
    // The XDG rule: a relative $XDG_CONFIG_HOME is invalid and ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/orvanta/registry");
}

void TRegistry::setStorePathOverride(const QString &Path)
{
    storePathOverride() = Path;
}

QString TRegistry::normalizeKey(const QString &Key)
{
    qsizetype first = 0;
    qsizetype last = Key.size();
    while (first < last && Key.at(first) == u'\\')
        ++first;
    while (last > first && Key.at(last - 1) == u'\\')
        --last;
    return Key.mid(first, last - first);
}

void TRegistry::loadStore()
{
    // Read afresh at every open: the store may have changed since.
    const QString path = storePath();
    QFileInfo info(path);
    if (!info.exists()) {
        m_store = std::make_unique<IniDocument>();
        return;
    }
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw ERegistryException(
            QStringLiteral("Cannot read the registry store %1: %2")
                .arg(path, info.isDir() ? QStringLiteral("it is a folder") : file.errorString()));
    m_store = std::make_unique<IniDocument>(IniDocument::parse(file.readAll()));
}

bool TRegistry::KeyExists(const QString &Key)
{
    loadStore();
    // A relative key is looked up below the current key.
    QString path = normalizeKey(Key);
    if (!Key.startsWith(u'\\') && !m_currentPath.isEmpty() && !path.isEmpty())
        path = m_currentPath + u'\\' + path;
    if (path.isEmpty())
        return true; // the hive itself
    if (m_store->hasSection(path))
        return true;
    // A key also exists when only keys below it hold values.
    const QString prefix = path + u'\\';
    for (const QString &section : m_store->sections())
        if (section.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    return false;
}

bool TRegistry::OpenKeyReadOnly(const QString &Key)
{
    if (!KeyExists(Key))
        return false;
    QString path = normalizeKey(Key);
    if (!Key.startsWith(u'\\') && !m_currentPath.isEmpty() && !path.isEmpty())
        path = m_currentPath + u'\\' + path;
    m_currentPath = path;
    return true;
}

void TRegistry::CloseKey()
{
    m_currentPath.clear();
}

bool TRegistry::ValueExists(const QString &Name) const
{
    return m_store && !m_currentPath.isEmpty() && m_store->read(m_currentPath, Name, nullptr);
}

QString TRegistry::ReadString(const QString &Name) const
{
    QString value;
    if (ValueExists(Name) && m_store->read(m_currentPath, Name, &value))
        return value;
    return {};
}
