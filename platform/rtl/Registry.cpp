#include "Registry.h"
#include "FileAccess.h"
#include "IniFiles.h"
#include "SysUtils.h"

#include <QDir>

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
    const FileReadResult file = readRegularFile(path);
    m_storeProblem.clear();
    if (file.status == FileReadResult::Refused)
        m_storeProblem = QStringLiteral("the registry store %1 cannot be read: %2")
                             .arg(QDir::toNativeSeparators(path), file.reason);
    m_store = std::make_unique<IniDocument>(IniDocument::parse(file.bytes));
}

QString TRegistry::absoluteKey(const QString &Key) const
{
    // A relative key is looked up below the current key.
    QString path = normalizeKey(Key);
    if (!Key.startsWith(u'\\') && !m_currentPath.isEmpty() && !path.isEmpty())
        path = m_currentPath + u'\\' + path;
    return path;
}

QStringList TRegistry::sectionsOf(const QString &Path) const
{
    QStringList result;
    if (!m_store)
        return result;
    for (const QString &section : m_store->sections())
        if (SameText(normalizeKey(section), Path))
            result.append(section);
    return result;
}

bool TRegistry::KeyExists(const QString &Key)
{
    loadStore();
    const QString path = absoluteKey(Key);
    if (path.isEmpty())
        return true; // the hive itself
    // A key also exists when only keys below it hold values.
    const QString prefix = path + u'\\';
    for (const QString &section : m_store->sections()) {
        const QString name = normalizeKey(section);
        if (SameText(name, path) || name.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool TRegistry::OpenKeyReadOnly(const QString &Key)
{
    if (!KeyExists(Key))
        return false;
    m_currentPath = absoluteKey(Key);
    return true;
}

void TRegistry::CloseKey()
{
    m_currentPath.clear();
}

bool TRegistry::ValueExists(const QString &Name) const
{
    if (m_currentPath.isEmpty())
        return false;
    for (const QString &section : sectionsOf(m_currentPath))
        if (m_store->read(section, Name, nullptr))
            return true;
    return false;
}

QString TRegistry::ReadString(const QString &Name) const
{
    // "[Software\Orvanta]" and "[\Software\Orvanta\]" are one key: the
    // first that holds the value gives it.
    QString value;
    if (m_currentPath.isEmpty())
        return value;
    for (const QString &section : sectionsOf(m_currentPath))
        if (m_store->read(section, Name, &value))
            return value;
    return {};
}
