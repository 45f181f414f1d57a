#include "FieldLinkDesigner.h"

#include "rtl/Forms.h"

#include "DesignErrors.h"
#include "PropertyEditors.h"

#include "orvlib/DB.h"
#include "orvlib/OvConsts.h"
#include "rtl/Classes.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace {

// "A; B;C" as {"A", "B", "C"}.
QStringList splitFields(const QString &Fields)
{
    QStringList result;
    for (const QString &f : Fields.split(u';', Qt::SkipEmptyParts))
        if (!f.trimmed().isEmpty())
            result << f.trimmed();
    return result;
}

QString joinCaption(const QPair<QString, QString> &Join)
{
    return QStringLiteral("%1 -> %2").arg(Join.first, Join.second);
}

qsizetype indexOfText(const QStringList &List, const QString &Text)
{
    for (qsizetype i = 0; i < List.size(); ++i)
        if (List.at(i).compare(Text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

TFieldLinkForm::TFieldLinkForm(QWidget *AOwner)
    : TForm(AOwner)
{
    setWindowTitle(tr("Field Link Designer"));
    auto *grid = new QGridLayout(this);

    lblIndexes = named(new QLabel(tr("A&vailable Indexes"), this), "lblIndexes");
    cbIndexes = named(new QComboBox(this), "cbIndexes");
    lblIndexes->setBuddy(cbIndexes);
    auto *indexRow = new QHBoxLayout;
    indexRow->addWidget(lblIndexes);
    indexRow->addWidget(cbIndexes, 1);
    grid->addLayout(indexRow, 0, 0, 1, 3);

    lblDetail = named(new QLabel(tr("D&etail Fields"), this), "lblDetail");
    lbDetail = named(new QListWidget(this), "lbDetail");
    lblDetail->setBuddy(lbDetail);
    lblMaster = named(new QLabel(tr("&Master Fields"), this), "lblMaster");
    lbMaster = named(new QListWidget(this), "lbMaster");
    lblMaster->setBuddy(lbMaster);
    btAdd = named(new QPushButton(tr("&Add"), this), "btAdd");
    grid->addWidget(lblDetail, 1, 0);
    grid->addWidget(lblMaster, 1, 2);
    grid->addWidget(lbDetail, 2, 0);
    grid->addWidget(btAdd, 2, 1, Qt::AlignCenter);
    grid->addWidget(lbMaster, 2, 2);

    lblJoined = named(new QLabel(tr("&Joined Fields"), this), "lblJoined");
    lbJoined = named(new QListWidget(this), "lbJoined");
    lblJoined->setBuddy(lbJoined);
    btDelete = named(new QPushButton(tr("&Delete"), this), "btDelete");
    btClear = named(new QPushButton(tr("C&lear"), this), "btClear");
    auto *joinButtons = new QVBoxLayout;
    joinButtons->addWidget(btDelete);
    joinButtons->addWidget(btClear);
    joinButtons->addStretch();
    grid->addWidget(lblJoined, 3, 0);
    grid->addWidget(lbJoined, 4, 0, 1, 2);
    grid->addLayout(joinButtons, 4, 2);

    btOk = named(new QPushButton(tr("OK"), this), "btOk");
    btCancel = named(new QPushButton(tr("Cancel"), this), "btCancel");
    btOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    grid->addLayout(buttons, 5, 0, 1, 3);
    bindModalResult(btOk, mrOk);
    bindModalResult(btCancel, mrCancel);
    resize(440, 400);

    connect(cbIndexes, &QComboBox::currentIndexChanged, this, [this](int I) {
        if (!FFilling && I >= 0)
            SetIndexEntry(FEntries.value(I));
    });
    connect(lbDetail, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
    connect(lbMaster, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
    connect(lbJoined, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
    connect(btAdd, &QPushButton::clicked, this, &TFieldLinkForm::AddClick);
    connect(btDelete, &QPushButton::clicked, this, &TFieldLinkForm::DeleteClick);
    connect(btClear, &QPushButton::clicked, this, &TFieldLinkForm::ClearClick);
    updateButtons();
}

TFieldLinkForm::~TFieldLinkForm() = default;

QStringList TFieldLinkForm::fieldNamesOf(TDataSet *DataSet)
{
    if (!DataSet)
        return {};
    TStringList names;
    DataSet->GetFieldNames(&names);
    // A closed dataset without persistent fields has none yet: ask the
    // database for its columns.
    if (names.Count() == 0 && !DataSet->Active())
        return DataSet->FieldDefNames();
    return names.toStringList();
}

void TFieldLinkForm::Setup(TFieldLinkProperty &Editor)
{
    FEditor = &Editor;
    QObject *edited = Editor.GetDataSet();
    auto *source
        = edited ? qobject_cast<TDataSource *>(edited->property("MasterSource").value<QObject *>())
                 : nullptr;
    TDataSet *master = source ? source->DataSet() : nullptr;
    if (!master)
        throw EDesignError(tr("%1 has no master dataset to link to: set its MasterSource first")
                               .arg(edited ? edited->objectName() : Editor.GetName()));
    FIndexBased = Editor.GetIndexBased();

    FEntries.clear();
    FEntryFields.clear();
    if (!FIndexBased) {
        FEntries << QString();
        FEntryFields << QStringList();
    }
    TIndexDefs *defs = Editor.GetIndexDefs();
    QString primaryEntry;
    for (int i = 0; defs && i < defs->Count(); ++i) {
        const TIndexDef *def = defs->Items(i);
        const QStringList fields = splitFields(def->Fields());
        // An expression index has no fields to join.
        if (fields.isEmpty() || (def->Options() & ixExpression))
            continue;
        const bool primary = (def->Options() & ixPrimary) || def->Name() == SPrimary();
        const QString entry = primary ? SPrimary() : def->Name();
        if (FEntries.contains(entry))
            continue;
        if (primary)
            primaryEntry = entry;
        FEntries << entry;
        FEntryFields << fields;
    }

    // The detail fields: those of the dataset the index definitions belong
    // to (the editor's copy, when it keeps one), else the edited dataset's.
    auto *detail = defs ? qobject_cast<TDataSet *>(defs->Owner()) : nullptr;
    if (!detail)
        detail = qobject_cast<TDataSet *>(edited);
    FAllDetailFields = fieldNamesOf(detail);
    FMasterFields = fieldNamesOf(master);

    // Where the link stands now.
    const QString indexFieldNames = Editor.GetIndexFieldNames();
    const QString indexName = Editor.GetIndexName();
    qsizetype entry = -1;
    if (!indexFieldNames.trimmed().isEmpty()) {
        if (!FIndexBased)
            entry = 0;
        else
            for (qsizetype i = 0; i < FEntries.size() && entry < 0; ++i)
                if (FEntryFields.at(i).join(u';').compare(splitFields(indexFieldNames).join(u';'),
                                                          Qt::CaseInsensitive)
                    == 0)
                    entry = i;
    } else if (indexName.isEmpty()) {
        entry = FEntries.indexOf(primaryEntry.isEmpty() ? QString() : primaryEntry);
    } else {
        entry = indexOfText(FEntries, indexName == SPrimary() ? primaryEntry : indexName);
    }
    if (entry < 0)
        entry = 0;
    FInitialEntry = FEntries.value(entry);

    TStringList current;
    Editor.GetFieldNamesForIndex(current);
    const QStringList details = current.toStringList();
    const QStringList masters = splitFields(Editor.GetMasterFields());
    FJoins.clear();
    for (qsizetype i = 0; i < details.size() && i < masters.size(); ++i)
        FJoins.append({details.at(i), masters.at(i)});
    FInitialJoins = FJoins;

    {
        QScopedValueRollback<bool> filling(FFilling, true);
        cbIndexes->clear();
        cbIndexes->addItems(FEntries);
        cbIndexes->setCurrentIndex(static_cast<int>(entry));
        cbIndexes->setEnabled(FEntries.size() > 1 || FIndexBased);
        lbMaster->clear();
        lbMaster->addItems(FMasterFields);
    }
    fillLists();
}

bool TFieldLinkForm::Apply()
{
    if (!FEditor)
        return false;
    const QString entry = IndexEntry();
    if (entry == FInitialEntry && FJoins == FInitialJoins)
        return false;
    QStringList details, masters;
    for (const auto &[d, m] : FJoins) {
        details << d;
        masters << m;
    }
    if (entry.isEmpty())
        FEditor->SetIndexFieldNames(details.join(u';'));
    else
        FEditor->SetIndexName(entry);
    FEditor->SetMasterFields(masters.join(u';'));
    return true;
}

QString TFieldLinkForm::IndexEntry() const
{
    return FEntries.value(cbIndexes->currentIndex());
}

void TFieldLinkForm::SetIndexEntry(const QString &Entry)
{
    const qsizetype i = FEntries.indexOf(Entry);
    if (i < 0)
        throw EDesignError(tr("No index %1 to link by").arg(Entry));
    {
        QScopedValueRollback<bool> filling(FFilling, true);
        cbIndexes->setCurrentIndex(static_cast<int>(i));
    }
    // Joins made for another index do not hold for this one.
    FJoins.clear();
    fillLists();
}

QStringList TFieldLinkForm::entryFields() const
{
    const qsizetype i = cbIndexes->currentIndex();
    if (i < 0 || FEntries.value(i).isEmpty())
        return FAllDetailFields;
    return FEntryFields.value(i);
}

QStringList TFieldLinkForm::DetailFields() const
{
    QStringList fields = entryFields();
    for (const auto &join : FJoins) {
        const qsizetype i = indexOfText(fields, join.first);
        if (i >= 0)
            fields.removeAt(i);
    }
    return fields;
}

QStringList TFieldLinkForm::JoinCaptions() const
{
    QStringList captions;
    for (const auto &join : FJoins)
        captions << joinCaption(join);
    return captions;
}

void TFieldLinkForm::fillLists()
{
    QScopedValueRollback<bool> filling(FFilling, true);
    const QStringList details = DetailFields();
    lbDetail->clear();
    lbDetail->addItems(details);
    if (!details.isEmpty())
        lbDetail->setCurrentRow(0);
    lbJoined->clear();
    lbJoined->addItems(JoinCaptions());
    updateButtons();
}

void TFieldLinkForm::SelectDetail(const QString &Field)
{
    const qsizetype i = indexOfText(DetailFields(), Field);
    if (i < 0)
        throw EDesignError(tr("%1 is not an available detail field").arg(Field));
    lbDetail->setCurrentRow(static_cast<int>(i));
}

void TFieldLinkForm::SelectMaster(const QString &Field)
{
    const qsizetype i = indexOfText(FMasterFields, Field);
    if (i < 0)
        throw EDesignError(tr("%1 is not a master field").arg(Field));
    lbMaster->setCurrentRow(static_cast<int>(i));
}

void TFieldLinkForm::SelectJoin(int Index)
{
    lbJoined->setCurrentRow(Index);
}

bool TFieldLinkForm::CanAdd() const
{
    const int detail = lbDetail->currentRow();
    if (detail < 0 || lbMaster->currentRow() < 0)
        return false;
    // An index links by its leading fields: only the next one can join.
    return IndexEntry().isEmpty() || detail == 0;
}

void TFieldLinkForm::AddClick()
{
    if (!CanAdd())
        return;
    FJoins.append({lbDetail->currentItem()->text(), lbMaster->currentItem()->text()});
    fillLists();
}

void TFieldLinkForm::DeleteClick()
{
    const int row = lbJoined->currentRow();
    if (row < 0 || row >= FJoins.size())
        return;
    if (IndexEntry().isEmpty())
        FJoins.removeAt(row);
    else
        FJoins = FJoins.mid(0, row);
    fillLists();
}

void TFieldLinkForm::ClearClick()
{
    FJoins.clear();
    fillLists();
}

void TFieldLinkForm::updateButtons()
{
    btAdd->setEnabled(CanAdd());
    btDelete->setEnabled(lbJoined->currentRow() >= 0);
    btClear->setEnabled(!FJoins.isEmpty());
}

TFieldLinkDesigner defaultFieldLinkDesigner()
{
    return [](TFieldLinkProperty &Editor) {
        TFieldLinkForm form;
        form.Setup(Editor);
        if (form.ShowModal() != mrOk)
            return false;
        return form.Apply();
    };
}
