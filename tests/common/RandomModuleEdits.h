#pragma once

#include "FormDesigner.h"
#include "ModuleEditing.h"

#include "orvlib/DB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"

#include <QMetaProperty>
#include <QRandomGenerator>

// Random edits of a data module as the designer's panes make them (add,
// delete, rename, link, paste, move), each announced to the designer as the
// pane announces it: for the undo history's tests and benchmark.
class TRandomModuleEdits
{
public:
    TRandomModuleEdits(TFormDesigner &Designer, quint32 Seed)
        : designer(Designer)
        , random(Seed)
    {}

    // Makes one edit; returns what it was ("rename R7"), for messages.
    QString edit(int Step)
    {
        TFormDesigner &d = designer;
        switch (random.bounded(6)) {
        case 0: {
            static const QMetaObject *const classes[]
                = {&TOvQuery::staticMetaObject, &TOvTable::staticMetaObject,
                   &TOvUpdateSQL::staticMetaObject, &TDataSource::staticMetaObject};
            const QMetaObject *meta = classes[random.bounded(4)];
            addComponent(d, meta, QPoint(random.bounded(600), random.bounded(400)));
            return QStringLiteral("add %1").arg(QLatin1String(meta->className()));
        }
        case 1: {
            const QList<QObject *> doomed = some();
            d.select(doomed);
            deleteSelection(d);
            return QStringLiteral("delete %1").arg(doomed.size());
        }
        case 2: {
            QObject *c = any();
            if (!c)
                return QStringLiteral("-");
            const QString name = QStringLiteral("R%1").arg(Step);
            d.select({c});
            renameComponent(d, c, name);
            return QStringLiteral("rename %1").arg(name);
        }
        case 3:
            return link();
        case 4: {
            const QList<QObject *> chosen = some();
            if (chosen.isEmpty())
                return QStringLiteral("-");
            pasteComponentsText(d, componentsText(chosen));
            return QStringLiteral("paste %1").arg(chosen.size());
        }
        default: {
            const QList<QObject *> moving = some();
            d.select(moving);
            for (QObject *c : moving)
                setDesignPosition(c, QPoint(random.bounded(600), random.bounded(400)));
            d.notifyComponentsChanged();
            return QStringLiteral("move %1").arg(moving.size());
        }
        }
    }

private:
    QList<QObject *> components() const { return surfaceComponents(designer.Root()); }
    QObject *any()
    {
        const QList<QObject *> all = components();
        return all.isEmpty() ? nullptr : all[random.bounded(int(all.size()))];
    }
    QList<QObject *> some()
    {
        QList<QObject *> chosen;
        for (int n = 1 + random.bounded(3); n > 0; --n)
            if (QObject *c = any(); c && !chosen.contains(c))
                chosen.append(c);
        return chosen;
    }

    // A reference of a selected component set as the Object Inspector sets
    // it: to another component of the right class, or cleared.
    QString link()
    {
        QObject *c = any();
        if (!c)
            return QStringLiteral("-");
        const QMetaObject *meta = c->metaObject();
        QList<QMetaProperty> references;
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            if (p.isWritable() && (p.metaType().flags() & QMetaType::PointerToQObject))
                references.append(p);
        }
        if (references.isEmpty())
            return QStringLiteral("-");
        const QMetaProperty p = references[random.bounded(int(references.size()))];
        QList<QObject *> targets{nullptr};
        for (QObject *t : components())
            if (t != c && t->metaObject()->inherits(p.metaType().metaObject()))
                targets.append(t);
        QObject *target = targets[random.bounded(int(targets.size()))];
        designer.select({c});
        try {
            p.write(c, QVariant(p.metaType(), &target));
        } catch (const Exception &) {
            return QStringLiteral("link refused");
        }
        designer.Modified();
        return QStringLiteral("link %1.%2 = %3")
            .arg(c->objectName(), QLatin1String(p.name()),
                 target ? target->objectName() : QStringLiteral("nil"));
    }

    TFormDesigner &designer;
    QRandomGenerator random;
};
