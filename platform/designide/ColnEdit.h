#pragma once

#include "DesignIntf.h"

#include <QFlags>
#include <QString>

class QObject;
class TCollection;

// What the collection editor lets the user do besides editing the existing
// items: add new items, delete items, move items up and down. The empty set
// leaves only the editing of the items that are there.
enum class TColOption { coAdd = 0x1, coDelete = 0x2, coMove = 0x4 };
Q_DECLARE_FLAGS(TColOptions, TColOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TColOptions)

// A class reference of a collection editor form: TCollectionEditor or a
// descendant (its meta-object).
using TCollectionEditorClass = const QMetaObject *;

// Shows the collection editor of class CollectionEditorClass modally, through
// the platform's modal seam, on Collection, which is the property PropertyName
// of AComponent. Changes the user makes are told to ADesigner (Modified).
void ShowCollectionEditorClass(const IDesignerPtr &ADesigner,
                               TCollectionEditorClass CollectionEditorClass, QObject *AComponent,
                               TCollection *Collection, const QString &PropertyName,
                               TColOptions ColOptions = {});
