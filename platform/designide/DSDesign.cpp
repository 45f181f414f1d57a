#include "DSDesign.h"

#include "rtl/Forms.h"

#include "DesignErrors.h"

#include "orvlib/DB.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include <memory>

namespace {

TField *fieldOf(QObject *Object)
{
    return qobject_cast<TField *>(Object);
}

} // namespace

// --- TFieldsEditor ------------------------------------------------------------

TFieldsEditor::TFieldsEditor(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("FieldsEditor"));
    resize(300, 380);
    lbFields = named(new QListWidget(this), "lbFields");
    lbFields->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btAddFields = named(new QPushButton(tr("&Add fields..."), this), "btAddFields");
    btRemove = named(new QPushButton(tr("&Remove"), this), "btRemove");
    btClose = named(new QPushButton(tr("Close"), this), "btClose");

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(btAddFields);
    buttons->addWidget(btRemove);
    buttons->addStretch();
    buttons->addWidget(btClose);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(lbFields, 1);
    layout->addLayout(buttons);

    connect(btAddFields, &QPushButton::clicked, this, &TFieldsEditor::AddFieldsClick);
    connect(btRemove, &QPushButton::clicked, this, &TFieldsEditor::RemoveClick);
    connect(lbFields, &QListWidget::itemSelectionChanged, this, &TFieldsEditor::UpdateButtons);
    bindModalResult(btClose, mrOk);
}

TFieldsEditor::~TFieldsEditor() = default;

void TFieldsEditor::Setup(const IDesignerPtr &ADesigner, TDataSet *ADataSet,
                          const TDSDesignerClass &ADesignerClass)
{
    if (FDataSet)
        disconnect(FDataSet, nullptr, this, nullptr);
    FDesigner = ADesigner;
    FDataSet = ADataSet;
    FDesignerClass = ADesignerClass;
    setWindowTitle(tr("Fields of %1").arg(ADataSet->objectName()));
    connect(ADataSet, &QObject::destroyed, this, [this] {
        FDataSet = nullptr;
        UpdateList();
    });
    UpdateList();
}

QObject *TFieldsEditor::FieldOwner() const
{
    if (FDesigner && FDesigner->Root())
        return FDesigner->Root();
    return FDataSet ? FDataSet->parent() : nullptr;
}

QStringList TFieldsEditor::FieldCaptions() const
{
    QStringList captions;
    for (int i = 0; i < lbFields->count(); ++i)
        captions << lbFields->item(i)->text();
    return captions;
}

void TFieldsEditor::SelectFields(const QStringList &FieldNames)
{
    for (int i = 0; i < lbFields->count(); ++i)
        lbFields->item(i)->setSelected(FieldNames.contains(lbFields->item(i)->text()));
}

void TFieldsEditor::UpdateList()
{
    const QSignalBlocker block(lbFields);
    lbFields->clear();
    if (FDataSet) {
        for (QObject *o : FDataSet->PersistentFields()) {
            auto *item = new QListWidgetItem(fieldOf(o)->FieldName(), lbFields);
            item->setData(Qt::UserRole, QVariant::fromValue(o));
            // A field freed elsewhere (undo, the structure view) leaves the list.
            connect(o, &QObject::destroyed, this, &TFieldsEditor::UpdateList, Qt::UniqueConnection);
        }
    }
    UpdateButtons();
}

void TFieldsEditor::UpdateButtons()
{
    btAddFields->setEnabled(FDataSet != nullptr);
    btRemove->setEnabled(!lbFields->selectedItems().isEmpty());
}

void TFieldsEditor::modified()
{
    if (FDesigner)
        FDesigner->Modified();
}

namespace {

// The case-folded names of Owner's components, which new names must avoid.
QSet<QString> takenNames(const QObject *Owner)
{
    QSet<QString> taken;
    if (Owner) {
        for (const QObject *c : Owner->children())
            taken.insert(c->objectName().toCaseFolded());
    }
    return taken;
}

// Letters, digits and "_" only, never a leading digit; a number is added
// until the name is not in Taken.
QString uniqueFieldName(const QSet<QString> &Taken, const QString &DataSetName,
                        const QString &FieldName)
{
    QString base;
    for (const QChar c : DataSetName + FieldName) {
        if (c.isLetterOrNumber() || c == u'_')
            base += c;
    }
    if (base.isEmpty())
        base = QStringLiteral("Field");
    if (base.front().isDigit())
        base.prepend(u'_');
    QString name = base;
    for (int n = 1; Taken.contains(name.toCaseFolded()); ++n)
        name = base + QString::number(n);
    return name;
}

} // namespace

QString TFieldsEditor::FieldComponentName(const QObject *Owner, const QString &DataSetName,
                                          const QString &FieldName)
{
    return uniqueFieldName(takenNames(Owner), DataSetName, FieldName);
}

QList<QObject *> TFieldsEditor::AddFields(const QStringList &FieldNames)
{
    QList<QObject *> added;
    if (!FDataSet || FieldNames.isEmpty())
        return added;
    // The new fields take their types from the field definitions: read them
    // when they do not cover the names yet, or the first open would change
    // every new field's stored type.
    QSet<QString> defined;
    for (const TFieldDesc &d : FDataSet->FieldDefs())
        defined.insert(d.Name);
    for (const QString &name : FieldNames) {
        if (!defined.contains(name)) {
            FDataSet->Close();
            FDataSet->UpdateFieldDefs();
            break;
        }
    }
    QObject *owner = FieldOwner();
    QSet<QString> taken = takenNames(owner); // once: forms may hold thousands of components
    FDataSet->Close();
    try {
        for (const QString &name : FieldNames) {
            TField *field = FDataSet->CreatePersistentField(name, owner);
            const QString component = uniqueFieldName(taken, FDataSet->objectName(), name);
            field->setObjectName(component);
            taken.insert(component.toCaseFolded());
            added << field;
        }
    } catch (...) {
        // The fields made before the failure stay: they are real changes.
        if (!added.isEmpty())
            modified();
        UpdateList();
        throw;
    }
    modified();
    UpdateList();
    for (QObject *o : std::as_const(added)) {
        for (int i = 0; i < lbFields->count(); ++i) {
            if (lbFields->item(i)->data(Qt::UserRole).value<QObject *>() == o)
                lbFields->item(i)->setSelected(true);
        }
    }
    return added;
}

void TFieldsEditor::AddFieldsClick()
{
    if (!FDataSet)
        return;
    QStringList available;
    try {
        const QStringList columns = FDataSet->FieldDefNames();
        QSet<QString> persistent;
        for (QObject *o : FDataSet->PersistentFields())
            persistent.insert(fieldOf(o)->FieldName());
        for (const QString &c : columns) {
            if (!persistent.contains(c) && !available.contains(c))
                available << c;
        }
    } catch (const Exception &e) {
        MessageDlg(e.Message(), mtError, mbOK);
        return;
    }
    TAddFieldsDlg dlg(this);
    dlg.SetAvailable(available);
    if (dlg.ShowModal() != mrOk)
        return;
    try {
        AddFields(dlg.Chosen());
    } catch (const Exception &e) {
        MessageDlg(e.Message(), mtError, mbOK);
    }
}

void TFieldsEditor::RemoveClick()
{
    QList<QObject *> doomed;
    for (QListWidgetItem *item : lbFields->selectedItems())
        doomed << item->data(Qt::UserRole).value<QObject *>();
    if (doomed.isEmpty())
        return;
    if (FDataSet)
        FDataSet->Close();
    for (QObject *field : std::as_const(doomed))
        delete field; // leaves its dataset and its owner
    modified();
    UpdateList();
}

// --- TAddFieldsDlg ------------------------------------------------------------

TAddFieldsDlg::TAddFieldsDlg(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("AddFieldsDlg"));
    setWindowTitle(tr("Add Fields"));
    resize(260, 320);
    auto *label = new QLabel(tr("Available fields"), this);
    lbAvailable = named(new QListWidget(this), "lbAvailable");
    lbAvailable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    label->setBuddy(lbAvailable);
    auto *ok = named(new QPushButton(tr("OK"), this), "btOk");
    auto *cancel = named(new QPushButton(tr("Cancel"), this), "btCancel");
    ok->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(lbAvailable, 1);
    layout->addLayout(buttons);
    bindModalResult(ok, mrOk);
    bindModalResult(cancel, mrCancel);
}

void TAddFieldsDlg::SetAvailable(const QStringList &FieldNames)
{
    lbAvailable->clear();
    lbAvailable->addItems(FieldNames);
    lbAvailable->selectAll();
}

QStringList TAddFieldsDlg::Available() const
{
    QStringList names;
    for (int i = 0; i < lbAvailable->count(); ++i)
        names << lbAvailable->item(i)->text();
    return names;
}

QStringList TAddFieldsDlg::Chosen() const
{
    QStringList names;
    for (int i = 0; i < lbAvailable->count(); ++i) {
        if (lbAvailable->item(i)->isSelected())
            names << lbAvailable->item(i)->text();
    }
    return names;
}

void TAddFieldsDlg::Choose(const QStringList &FieldNames)
{
    for (int i = 0; i < lbAvailable->count(); ++i)
        lbAvailable->item(i)->setSelected(FieldNames.contains(lbAvailable->item(i)->text()));
}

// --- ShowFieldsEditor -------------------------------------------------------

void ShowFieldsEditor(const IDesignerPtr &ADesigner, TDataSet *ADataSet,
                      const TDSDesignerClass &DesignerClass)
{
    if (!ADataSet)
        throw EDesignError(QStringLiteral("No dataset to edit the fields of"));
    TFieldsEditor editor;
    editor.Setup(ADesigner, ADataSet, DesignerClass);
    editor.ShowModal();
}
