#include "FormDesigner.h"

#include <QSet>

#include <algorithm>

TFormDesigner::TFormDesigner(std::unique_ptr<QObject> Root, QString FileName)
    : m_root(std::move(Root))
    , m_fileName(std::move(FileName))
{}

TFormDesigner::~TFormDesigner()
{
    // The selection's guards must not outlive the components they watch.
    m_selection.clear();
    m_root.reset();
}

void TFormDesigner::Modified()
{
    setModified(true);
    emit designChanged();
}

QObject *TFormDesigner::Root() const
{
    return m_root.get();
}

QString TFormDesigner::GetDesignerExtension() const
{
    return QStringLiteral("dfm");
}

void TFormDesigner::setFileName(const QString &FileName)
{
    if (FileName == m_fileName)
        return;
    m_fileName = FileName;
    emit fileNameChanged(m_fileName);
}

void TFormDesigner::setModified(bool Value)
{
    if (Value == m_modified)
        return;
    m_modified = Value;
    emit modifiedChanged(m_modified);
}

QList<QObject *> TFormDesigner::selection() const
{
    QList<QObject *> result;
    for (const QPointer<QObject> &c : m_selection)
        if (c && belongs(c))
            result.append(c);
    return result;
}

void TFormDesigner::select(const QList<QObject *> &Components)
{
    // A paste selects thousands at once: duplicates are found by hash.
    QList<QPointer<QObject>> next;
    QSet<const QObject *> chosen;
    // The module itself is selected alone: a component added to it (Ctrl+
    // click after a click on empty space) is what the person means, and the
    // Object Inspector shows what the components share, not nothing.
    const bool components = std::any_of(Components.cbegin(), Components.cend(), [this](QObject *c) {
        return c && c != m_root.get() && belongs(c);
    });
    for (QObject *c : Components)
        if (c && belongs(c) && !chosen.contains(c) && !(components && c == m_root.get())) {
            chosen.insert(c);
            next.append(c);
        }
    if (next == m_selection)
        return;
    m_selection = std::move(next);
    emit selectionChanged();
}

void TFormDesigner::notifyComponentsChanged()
{
    setModified(true);
    emit componentsChanged();
    // A selected component may be gone or renamed.
    const QList<QObject *> still = selection();
    if (still.size() != m_selection.size())
        select(still);
}

bool TFormDesigner::belongs(const QObject *Component) const
{
    for (const QObject *o = Component; o; o = o->parent())
        if (o == m_root.get())
            return true;
    return false;
}
