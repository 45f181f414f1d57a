#pragma once

#include "DesignIntf.h"

#include "rtl/Forms.h"

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

// The collection editor: lists the items of a collection property, adds,
// deletes and moves them as its options allow, and edits the published
// properties of the selected item in a grid below the list. Every change is
// told to the designer at once (Modified), so a later failure or a cancelled
// dialog cannot leave an unsaved change behind.
//
// Controls: lbItems (one line per item, "index - display name"), btAdd,
// btDelete, btMoveUp, btMoveDown (enabled by the options and the selection),
// gdProperties (name, value of each published property of the selected item;
// the value column is editable) and btClose (mrOk). Each button's action is a
// public method, so a script can act where a person would.
class TCollectionEditor : public TForm
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TCollectionEditor(QWidget *AOwner = nullptr);
    ~TCollectionEditor() override;

    // Binds the editor to Collection, the property PropertyName of
    // AComponent, before it is shown.
    void Setup(const IDesignerPtr &ADesigner, QObject *AComponent, TCollection *ACollection,
               const QString &APropertyName, TColOptions AOptions);

    TColOptions Options() const { return FOptions; }
    TCollection *Collection() const { return FCollection; }
    QObject *Component() const { return FComponent; }
    QString PropertyName() const { return FPropertyName; }
    const IDesignerPtr &Designer() const { return FDesigner; }

    // The selected item's index; -1 when none is selected.
    int ItemIndex() const;
    void SetItemIndex(int Value);
    // The lines of lbItems, in order.
    QStringList ItemCaptions() const;

    // Each does nothing when the options or the selection do not allow it.
    void AddClick();
    void DeleteClick();
    void MoveUpClick();
    void MoveDownClick();

    // Writes Text into the property Name of the selected item, converted to
    // the property's type (an enumeration by its key, a Boolean from
    // "True"/"False"); raises EPropertyError for a text the type does not take.
    void SetItemProperty(const QString &Name, const QString &Text);
    // The text gdProperties shows for the property Name of the selected item.
    QString ItemProperty(const QString &Name) const;

private:
    void UpdateListbox();
    void UpdateButtons();
    void UpdateProperties();
    void propertyEdited(int Row, int Column);
    // Writes and tells the designer; returns the text the item now shows.
    QString writeProperty(const QString &Name, const QString &Text);
    void itemsChanged();
    void modified();

    IDesignerPtr FDesigner;
    QObject *FComponent = nullptr;
    TCollection *FCollection = nullptr;
    QString FPropertyName;
    TColOptions FOptions;
    bool FFilling = false;

    class QListWidget *lbItems = nullptr;
    class QPushButton *btAdd = nullptr;
    class QPushButton *btDelete = nullptr;
    class QPushButton *btMoveUp = nullptr;
    class QPushButton *btMoveDown = nullptr;
    class QTableWidget *gdProperties = nullptr;
    class QPushButton *btClose = nullptr;
};
