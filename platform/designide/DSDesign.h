#pragma once

#include "ComponentEditors.h"
#include "DesignIntf.h"

#include "rtl/Forms.h"

#include <QList>
#include <QStringList>

class TDataSet;

// Shows the persistent-fields editor of ADataSet modally, through the
// platform's modal seam: it lists the dataset's persistent fields, adds
// fields from the database and removes them. DesignerClass is the dataset
// designer class the editor runs with (TDataSetEditor::GetDSDesignerClass).
// Changes are told to ADesigner (Modified).
void ShowFieldsEditor(const IDesignerPtr &ADesigner, TDataSet *ADataSet,
                      const TDSDesignerClass &DesignerClass);

// The persistent-fields editor of a dataset. The fields are components of the
// designed root (the dataset's owner when there is no designer), named after
// the dataset and the field ("OvQuery1ID"; characters a name cannot hold are
// left out, and a number is added when the name is taken).
//
// Controls: lbFields (the persistent fields in their order, several may be
// selected), btAddFields ("Add fields..." opens TAddFieldsDlg), btRemove and
// btClose (mrOk). Adding or removing closes the dataset first: its fields
// change only while it is closed.
class TFieldsEditor : public TForm
{
    Q_OBJECT

public:
    explicit TFieldsEditor(QWidget *AOwner = nullptr);
    ~TFieldsEditor() override;

    void Setup(const IDesignerPtr &ADesigner, TDataSet *ADataSet,
               const TDSDesignerClass &ADesignerClass);

    TDataSet *DataSet() const { return FDataSet; }
    const IDesignerPtr &Designer() const { return FDesigner; }
    const TDSDesignerClass &DesignerClass() const { return FDesignerClass; }
    // The component that owns new fields: the designer's root, or the
    // dataset's owner without a designer.
    QObject *FieldOwner() const;

    // The lines of lbFields: the persistent fields' names, in order.
    QStringList FieldCaptions() const;
    void SelectFields(const QStringList &FieldNames);

    // Asks the database for the dataset's columns and offers those without a
    // persistent field (TAddFieldsDlg, all chosen at first); adds the chosen
    // ones in column order. A database error is shown and adds nothing.
    void AddFieldsClick();
    // Frees the selected fields.
    void RemoveClick();
    // Adds persistent fields for FieldNames, in that order, with the types
    // the database reports for them; returns them.
    QList<QObject *> AddFields(const QStringList &FieldNames);

    // A component name for a field of ADataSet that no component of Owner has.
    static QString FieldComponentName(const QObject *Owner, const QString &DataSetName,
                                      const QString &FieldName);

private:
    void UpdateList();
    void UpdateButtons();
    void modified();

    IDesignerPtr FDesigner;
    TDataSet *FDataSet = nullptr;
    TDSDesignerClass FDesignerClass;

    class QListWidget *lbFields = nullptr;
    class QPushButton *btAddFields = nullptr;
    class QPushButton *btRemove = nullptr;
    class QPushButton *btClose = nullptr;
};

// The choice of "Add fields...": lbAvailable lists the columns that have no
// persistent field yet, several may be chosen; btOk (mrOk), btCancel.
class TAddFieldsDlg : public TForm
{
    Q_OBJECT

public:
    explicit TAddFieldsDlg(QWidget *AOwner = nullptr);

    void SetAvailable(const QStringList &FieldNames);
    QStringList Available() const;
    // The chosen names, in list order.
    QStringList Chosen() const;
    void Choose(const QStringList &FieldNames);

private:
    class QListWidget *lbAvailable = nullptr;
};
