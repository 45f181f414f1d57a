#pragma once

#include "rtl/Forms.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class TDataSet;
class TFieldLinkProperty;

// The field-link dialog: joins fields of a detail dataset to fields of its
// master dataset (the dataset of its MasterSource). It reads and writes the
// link only through the accessors of the field-link property editor it
// serves, so an editor can point it at a temporary copy of the dataset.
//
// cbIndexes lists the detail dataset's indexes, the primary one under the
// runtime library's SPrimary text. A dataset that is not index based also
// gets a blank first entry: with it the link joins any of its fields and is
// stored as IndexFieldNames. With an index chosen, only that index's fields
// can be joined, in index order, and the link is stored as IndexName.
//
// lbDetail lists the detail fields not joined yet, lbMaster the master's
// fields, lbJoined the joins as "DETAIL -> MASTER". btAdd joins the selected
// pair, btDelete removes the selected join (with an index, the later ones
// too, since an index links by its leading fields), btClear removes every
// join. Every button's action is a public method so a script can act where a
// person would.
class TFieldLinkForm : public TForm
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFieldLinkForm(QWidget *AOwner = nullptr);
    ~TFieldLinkForm() override;

    // Reads the link, the indexes and both field lists through Editor.
    // Raises EDesignError when the edited dataset has no master dataset.
    void Setup(TFieldLinkProperty &Editor);
    // Writes the link through the editor's accessors when it differs from
    // what Setup read: the index (IndexName, or IndexFieldNames with the
    // blank entry), then MasterFields. Returns whether it wrote.
    bool Apply();

    QStringList IndexEntries() const { return FEntries; }
    // The chosen entry of cbIndexes ("" is the blank entry).
    QString IndexEntry() const;
    // Chooses an entry, which clears the joins; EDesignError for an entry
    // the list does not have.
    void SetIndexEntry(const QString &Entry);
    bool IndexBased() const { return FIndexBased; }

    QStringList DetailFields() const;
    QStringList MasterFields() const { return FMasterFields; }
    QList<QPair<QString, QString>> Joins() const { return FJoins; }
    QStringList JoinCaptions() const;

    // Select a field (EDesignError when it is not listed) or a join.
    void SelectDetail(const QString &Field);
    void SelectMaster(const QString &Field);
    void SelectJoin(int Index);
    bool CanAdd() const;

    void AddClick();
    void DeleteClick();
    void ClearClick();

private:
    // The fields the chosen entry allows, in order.
    QStringList entryFields() const;
    void fillLists();
    void updateButtons();
    static QStringList fieldNamesOf(TDataSet *DataSet);

    TFieldLinkProperty *FEditor = nullptr;
    bool FIndexBased = true;
    QStringList FEntries;
    QList<QStringList> FEntryFields;
    QStringList FAllDetailFields;
    QStringList FMasterFields;
    QList<QPair<QString, QString>> FJoins;
    QString FInitialEntry;
    QList<QPair<QString, QString>> FInitialJoins;
    bool FFilling = false;

    QLabel *lblIndexes = nullptr;
    QComboBox *cbIndexes = nullptr;
    QLabel *lblDetail = nullptr;
    QListWidget *lbDetail = nullptr;
    QPushButton *btAdd = nullptr;
    QLabel *lblMaster = nullptr;
    QListWidget *lbMaster = nullptr;
    QLabel *lblJoined = nullptr;
    QListWidget *lbJoined = nullptr;
    QPushButton *btDelete = nullptr;
    QPushButton *btClear = nullptr;
    QPushButton *btOk = nullptr;
    QPushButton *btCancel = nullptr;
};
