#include "Stfilsys.h"

#include "DesignIntf.h"

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QMetaProperty>

namespace {

const std::shared_ptr<TStringsFileSystem> &theFileSystem()
{
    static const auto fileSystem = std::make_shared<TStringsFileSystem>();
    return fileSystem;
}

QString key(const QString &FileName)
{
    return FileName.toUpper();
}

} // namespace

TStringsProperty::TStringsProperty(QObject *Component, const QString &PropName)
    : m_component(Component)
    , m_propName(PropName)
{}

void TStringsProperty::Write(const QString &Text)
{
    QObject *component = m_component;
    if (!component)
        throw EDesignError(
            QStringLiteral("Cannot write %1: its component no longer exists").arg(m_propName));
    const QMetaObject *meta = component->metaObject();
    const int index = meta->indexOfProperty(m_propName.toLatin1().constData());
    const QMetaProperty property = index >= 0 ? meta->property(index) : QMetaProperty();
    if (!property.isValid() || property.metaType() != QMetaType::fromType<TStrings *>())
        throw EPropertyError(QStringLiteral("%1 has no string-list property %2")
                                 .arg(component->objectName(), m_propName));
    TStringList lines;
    lines.SetText(Text);
    if (!property.write(component, QVariant::fromValue<TStrings *>(&lines)))
        throw EPropertyError(QStringLiteral("Cannot set property %1 of %2")
                                 .arg(m_propName, component->objectName()));
    m_fileDate = DateTimeToFileDate(Now());
    if (IDesigner *designer = FindRootDesigner(component))
        designer->Modified();
}

void TStringsFileSystem::WriteFile(const QString &FileName, const QString &Text)
{
    TStringsProperty *file = FindTStringsProperty(FileName);
    if (!file)
        throw EDesignError(QStringLiteral("No property is tied to %1").arg(FileName));
    file->Write(Text);
}

void TStringsFileSystem::FileClosed(const QString &FileName)
{
    m_files.remove(key(FileName));
}

TStringsProperty *TStringsFileSystem::GetTStringsProperty(const QString &Ident, QObject *Component,
                                                          const QString &PropName)
{
    if (Ident.isEmpty() || !Component)
        throw EDesignError(
            QStringLiteral("Cannot tie property %1 to a file without a name").arg(PropName));
    auto file = std::make_shared<TStringsProperty>(Component, PropName);
    m_files.insert(key(Ident), file);
    return file.get();
}

void TStringsFileSystem::RenameFile(const QString &FileName, const QString &NewName)
{
    const auto it = m_files.find(key(FileName));
    if (it == m_files.end())
        return;
    std::shared_ptr<TStringsProperty> file = *it;
    m_files.erase(it);
    m_files.insert(key(NewName), std::move(file));
}

TStringsProperty *TStringsFileSystem::FindTStringsProperty(const QString &Ident) const
{
    const auto it = m_files.constFind(key(Ident));
    return it == m_files.cend() ? nullptr : it->get();
}

void Stfilsys::Register()
{
    AsInterface<IOTAModuleServices>(BorlandIDEServices, IID_IOTAModuleServices)
        ->RegisterFileSystem(theFileSystem());
}

TStringsFileSystem *StringsFileSystem()
{
    return theFileSystem().get();
}
