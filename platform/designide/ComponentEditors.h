#pragma once

#include "DesignIntf.h"

#include <QObject>
#include <QString>

#include <memory>

class QAction;

// The base of every component editor: the verbs of a component's context menu
// and the action of a double click. The environment creates one for a single
// context menu or double click and frees it afterwards, so an editor keeps no
// state between calls.
//
// Whenever an editor changes its component, it must call
// GetDesigner()->Modified(), or the change is not saved with the form.
// A verb caption of "-" is shown as a separator line.
class TComponentEditor : public QObject
{
    Q_OBJECT

public:
    TComponentEditor(QObject *AComponent, IDesignerPtr ADesigner);
    ~TComponentEditor() override;

    // Double click. The base runs verb 0 when there is one.
    virtual void Edit();
    // Runs verb Index. The base has no verbs and does nothing.
    virtual void ExecuteVerb(int Index);
    // The caption of verb Index. The base has no verbs: empty text.
    virtual QString GetVerb(int Index);
    virtual int GetVerbCount();
    // Copies the component to the clipboard in a form of its own; the base
    // adds nothing to what the designer copies.
    virtual void Copy();
    // Lets the editor adjust the menu entry of verb Index before it is shown
    // (check it, disable it). The base leaves it as it is.
    virtual void PrepareItem(int Index, QAction *AItem);

    QObject *Component() const { return FComponent; }
    const IDesignerPtr &GetDesigner() const { return FDesigner; }
    const IDesignerPtr &Designer() const { return FDesigner; }

private:
    QObject *FComponent;
    IDesignerPtr FDesigner;
};

// A class reference of the dataset designer that the fields editor runs with.
struct TDSDesignerClass
{
    QString Name;
    bool operator==(const TDSDesignerClass &) const = default;
};

// The database design package's component editor for datasets. Its verb opens
// the fields editor with the designer class of GetDSDesignerClass.
class TDataSetEditor : public TComponentEditor
{
    Q_OBJECT

public:
    using TComponentEditor::TComponentEditor;

    // The designer class the fields editor uses for this dataset.
    virtual TDSDesignerClass GetDSDesignerClass();
};

// The editor for Component: an instance of the class registered for it, or the
// base editor (no verbs) when none is. The caller owns it.
std::unique_ptr<TComponentEditor> GetComponentEditor(QObject *Component, IDesignerPtr Designer);
