#include "ModuleEditing.h"

#include "designide/FormFile.h"
#include "rtl/SysUtils.h"

#include <QHash>
#include <QMetaProperty>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>

namespace {

QSet<QString> namesIn(const QObject *Root)
{
    QSet<QString> names;
    names.insert(Root->objectName().toLower());
    for (const QObject *o : Root->findChildren<QObject *>())
        if (!o->objectName().isEmpty())
            names.insert(o->objectName().toLower());
    return names;
}

QString defaultNameBase(TComponentClass Class)
{
    QString base = QLatin1String(Class->className());
    if (base.size() > 1 && base.startsWith(QLatin1Char('T')))
        base.remove(0, 1);
    return base;
}

QString firstFreeName(const QString &Base, const QSet<QString> &Taken)
{
    for (int n = 1;; ++n) {
        const QString name = Base + QString::number(n);
        if (!Taken.contains(name.toLower()))
            return name;
    }
}

// "object Name: Class" (or inherited / inline) at the start of a line.
const QRegularExpression &objectHeader()
{
    static const QRegularExpression re(
        QStringLiteral(
            R"(^(\s*(?:object|inherited|inline)\s+)([A-Za-z_]\w*)(\s*:\s*)([A-Za-z_]\w*)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// "Prop = Identifier": a reference, an enumeration or a Boolean value.
const QRegularExpression &identifierValue()
{
    static const QRegularExpression re(
        QStringLiteral(R"(^(\s*[A-Za-z_][\w.]*\s*=\s*)([A-Za-z_]\w*)\s*$)"));
    return re;
}

void copyPublishedProperties(const QObject *From, QObject *To)
{
    const QMetaObject *meta = From->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (p.isWritable())
            p.write(To, p.read(From));
    }
    for (const QByteArray &name : From->dynamicPropertyNames())
        To->setProperty(name.constData(), From->property(name.constData()));
}

} // namespace

bool isDesignComponent(const QObject *Component)
{
    return Component && !Component->objectName().isEmpty()
           && GetClass(QLatin1String(Component->metaObject()->className()))
                  == Component->metaObject();
}

QList<QObject *> surfaceComponents(const QObject *Root)
{
    QList<QObject *> list;
    if (!Root)
        return list;
    for (QObject *o : Root->children())
        if (isDesignComponent(o))
            list.append(o);
    return list;
}

QPoint designPosition(const QObject *Component, QPoint Fallback)
{
    const QVariant left = Component->property("Left");
    const QVariant top = Component->property("Top");
    if (!left.isValid() || !top.isValid())
        return Fallback;
    return QPoint(left.toInt(), top.toInt());
}

void setDesignPosition(QObject *Component, QPoint Position)
{
    Component->setProperty("Left", Position.x());
    Component->setProperty("Top", Position.y());
}

bool isValidComponentName(const QString &Name)
{
    static const QRegularExpression re(QStringLiteral(R"(^[A-Za-z_][A-Za-z0-9_]*$)"));
    return re.match(Name).hasMatch();
}

QString uniqueComponentName(const QObject *Root, TComponentClass Class)
{
    return firstFreeName(defaultNameBase(Class), namesIn(Root));
}

QObject *addComponent(TFormDesigner &Designer, TComponentClass Class, QPoint Position)
{
    QObject *root = Designer.Root();
    if (!root || !Class)
        throw Exception(QStringLiteral("No data module is open"));
    const QString name = uniqueComponentName(root, Class);
    QObject *component = Class->newInstance(Q_ARG(QObject *, root));
    if (!component)
        throw Exception(
            QStringLiteral("Class %1 cannot be created").arg(QLatin1String(Class->className())));
    component->setObjectName(name);
    setDesignPosition(component, QPoint(qMax(0, Position.x()), qMax(0, Position.y())));
    Designer.notifyComponentsChanged();
    Designer.select({component});
    return component;
}

void renameComponent(TFormDesigner &Designer, QObject *Component, const QString &NewName)
{
    if (!Component || NewName == Component->objectName())
        return;
    if (!isValidComponentName(NewName))
        throw Exception(QStringLiteral("%1 is not a valid component name").arg(NewName));
    if (NewName.compare(Component->objectName(), Qt::CaseInsensitive) != 0
        && namesIn(Designer.Root()).contains(NewName.toLower()))
        throw Exception(QStringLiteral("A component named %1 already exists").arg(NewName));
    Component->setObjectName(NewName);
    Designer.notifyComponentsChanged();
}

int deleteSelection(TFormDesigner &Designer)
{
    QList<QPointer<QObject>> doomed;
    for (QObject *o : Designer.selection())
        if (o != Designer.Root() && isDesignComponent(o))
            doomed.append(o);
    if (doomed.isEmpty())
        return 0;
    Designer.select({});
    // A selected component may own another selected one, which goes with
    // its owner: the guards skip it.
    for (const QPointer<QObject> &o : doomed)
        delete o.data();
    Designer.notifyComponentsChanged();
    return int(doomed.size());
}

QString componentsText(const QList<QObject *> &Components)
{
    QString text;
    for (const QObject *c : Components)
        if (isDesignComponent(c))
            text += WriteFormText(c);
    return text;
}

QList<QObject *> pasteComponentsText(TFormDesigner &Designer, const QString &Text)
{
    QObject *root = Designer.Root();
    if (!root)
        throw Exception(QStringLiteral("No data module is open"));
    QStringList lines = Text.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || !objectHeader().match(lines.first()).hasMatch())
        throw Exception(QStringLiteral("The clipboard holds no components"));

    // New names for pasted components whose names are taken, and the
    // top-level ones, which become the root's own.
    QSet<QString> taken = namesIn(root);
    QHash<QString, QString> renamed; // old name (lower case) -> new name
    QStringList topLevel;
    int depth = 0;
    for (QString &line : lines) {
        const QRegularExpressionMatch m = objectHeader().match(line);
        if (m.hasMatch()) {
            QString name = m.captured(2);
            if (taken.contains(name.toLower())) {
                const TComponentClass cls = GetClass(m.captured(4));
                const QString fresh
                    = cls ? firstFreeName(defaultNameBase(cls), taken) : firstFreeName(name, taken);
                renamed.insert(name.toLower(), fresh);
                line = m.captured(1) + fresh + m.captured(3) + m.captured(4);
                name = fresh;
            }
            taken.insert(name.toLower());
            if (depth == 0)
                topLevel.append(name);
            ++depth;
        } else if (line.trimmed().compare(QLatin1String("end"), Qt::CaseInsensitive) == 0) {
            --depth;
        }
    }
    if (depth != 0)
        throw Exception(QStringLiteral("The clipboard holds no whole components"));
    for (QString &line : lines) {
        const QRegularExpressionMatch m = identifierValue().match(line);
        if (m.hasMatch()) {
            const auto it = renamed.constFind(m.captured(2).toLower());
            if (it != renamed.cend())
                line = m.captured(1) + *it;
        }
    }

    // The module with the pasted text before its last "end", read whole.
    // A reference the reader cannot resolve names a component the module
    // lacks: that line is dropped and the text read again.
    QStringList form = WriteFormText(root).split(QLatin1Char('\n'));
    while (!form.isEmpty() && form.last().trimmed().isEmpty())
        form.removeLast();
    const int firstPasted = int(form.size()) - 1;
    for (int i = 0; i < lines.size(); ++i)
        form.insert(firstPasted + i, lines[i]);
    std::unique_ptr<QObject> fresh;
    for (int attempt = 0; !fresh; ++attempt) {
        try {
            TFormReader reader(form.join(QLatin1Char('\n')) + QLatin1Char('\n'));
            fresh = reader.Read();
        } catch (const EFormError &e) {
            const int index = e.Line() - 1;
            const bool dangling = e.Message().contains(QLatin1String("unknown component"))
                                  && index >= firstPasted && index < form.size()
                                  && attempt < lines.size();
            if (!dangling)
                throw Exception(QStringLiteral("Cannot paste: %1").arg(e.Message()));
            form.removeAt(index);
        }
    }
    QString text = form.join(QLatin1Char('\n')) + QLatin1Char('\n');
    fresh.reset();

    reloadModuleText(Designer, text);
    // Pasted over an existing component: shift so both can be seen.
    QSet<qint64> occupied;
    auto key = [](QPoint P) {
        return (qint64(P.x()) << 32) ^ quint32(P.y());
    };
    QList<QObject *> pasted;
    for (QObject *c : surfaceComponents(root)) {
        if (topLevel.contains(c->objectName()))
            pasted.append(c);
        else
            occupied.insert(key(designPosition(c)));
    }
    for (QObject *c : pasted) {
        QPoint p = designPosition(c);
        while (occupied.contains(key(p)))
            p += QPoint(16, 16);
        setDesignPosition(c, p);
    }
    Designer.notifyComponentsChanged();
    Designer.select(pasted);
    return pasted;
}

QStringList reloadModuleText(TFormDesigner &Designer, const QString &Text)
{
    QObject *root = Designer.Root();
    if (!root)
        throw Exception(QStringLiteral("No data module is open"));
    TFormReader reader(Text, Designer.fileName());
    std::unique_ptr<QObject> fresh = reader.Read();
    if (fresh->metaObject() != root->metaObject())
        throw Exception(QStringLiteral("The text is a %1, not a %2")
                            .arg(QLatin1String(fresh->metaObject()->className()),
                                 QLatin1String(root->metaObject()->className())));
    Designer.select({});
    for (QObject *c : surfaceComponents(root))
        delete c;
    root->setObjectName(fresh->objectName());
    copyPublishedProperties(fresh.get(), root);
    for (QObject *c : surfaceComponents(fresh.get()))
        c->setParent(root);
    // Held-back properties name components that now belong to the root.
    QStringList failures;
    for (const TDeferredProperty &d : reader.Deferred()) {
        try {
            ApplyDeferredProperties({d}, Designer.fileName());
        } catch (const Exception &e) {
            failures.append(e.Message());
        }
    }
    return failures;
}

// --- TModuleHistory ------------------------------------------------------------

TModuleHistory::TModuleHistory(TFormDesignerPtr Designer, int Depth, QObject *Parent)
    : QObject(Parent)
    , m_designer(std::move(Designer))
    , m_depth(qMax(1, Depth))
{
    reset();
    connect(m_designer.get(), &TFormDesigner::designChanged, this, &TModuleHistory::record);
    connect(m_designer.get(), &TFormDesigner::componentsChanged, this, &TModuleHistory::record);
}

void TModuleHistory::reset()
{
    const bool could = canUndo();
    m_undo.clear();
    m_current = m_designer->Root() ? WriteFormText(m_designer->Root()) : QString();
    if (could)
        emit canUndoChanged(false);
}

void TModuleHistory::record()
{
    if (m_restoring || !m_designer->Root())
        return;
    QString now = WriteFormText(m_designer->Root());
    if (now == m_current)
        return;
    const bool could = canUndo();
    m_undo.push_back(std::move(m_current));
    if (int(m_undo.size()) > m_depth)
        m_undo.erase(m_undo.begin());
    m_current = std::move(now);
    if (!could)
        emit canUndoChanged(true);
}

QStringList TModuleHistory::undo()
{
    if (m_undo.empty())
        return {};
    const QString text = m_undo.back();
    QStringList failures;
    m_restoring = true;
    try {
        failures = reloadModuleText(*m_designer, text);
    } catch (...) {
        m_restoring = false;
        throw;
    }
    m_undo.pop_back();
    m_current = text;
    m_designer->notifyComponentsChanged();
    m_restoring = false;
    if (m_undo.empty())
        emit canUndoChanged(false);
    return failures;
}
