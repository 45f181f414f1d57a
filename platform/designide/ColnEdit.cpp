#include "ColnEdit.h"

#include "rtl/Forms.h"

#include "DesignErrors.h"

#include "orvlib/Collections.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

// The published properties of an item: those its classes declare below
// QObject (objectName is not one of them).
QList<QMetaProperty> itemProperties(const QObject *Item)
{
    QList<QMetaProperty> props;
    const QMetaObject *meta = Item->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (p.isReadable() && p.isDesignable())
            props << p;
    }
    return props;
}

QString textOf(const QMetaProperty &Prop, const QObject *Item)
{
    const QVariant v = Prop.read(Item);
    if (Prop.isEnumType()) {
        const QMetaEnum e = Prop.enumerator();
        const char *key = e.valueToKey(v.toInt());
        return key ? QString::fromLatin1(key) : QString::number(v.toInt());
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v.toString();
}

// Text converted to the property's type; raises on a text the type refuses.
QVariant valueOf(const QMetaProperty &Prop, const QString &Text)
{
    const auto refuse = [&] {
        return EPropertyError(QStringLiteral("'%1' is not a valid value for %2")
                                  .arg(Text, QLatin1String(Prop.name())));
    };
    if (Prop.isEnumType()) {
        bool ok = false;
        const int value = Prop.enumerator().keyToValue(Text.toLatin1().constData(), &ok);
        if (!ok)
            throw refuse();
        return value;
    }
    switch (Prop.metaType().id()) {
    case QMetaType::Bool:
        if (Text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (Text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
        throw refuse();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong value = Text.trimmed().toLongLong(&ok);
        if (!ok)
            throw refuse();
        return value;
    }
    case QMetaType::Double: {
        bool ok = false;
        const double value = Text.trimmed().toDouble(&ok);
        if (!ok)
            throw refuse();
        return value;
    }
    case QMetaType::QVariant:
        // A variant property (a parameter's value): empty text is no value.
        return Text.isEmpty() ? QVariant() : QVariant(Text);
    default:
        return Text;
    }
}

} // namespace

TCollectionEditor::TCollectionEditor(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("CollectionEditor"));
    resize(360, 420);
    lbItems = named(new QListWidget(this), "lbItems");
    btAdd = named(new QPushButton(tr("&Add"), this), "btAdd");
    btDelete = named(new QPushButton(tr("&Delete"), this), "btDelete");
    btMoveUp = named(new QPushButton(tr("Move &Up"), this), "btMoveUp");
    btMoveDown = named(new QPushButton(tr("Move Do&wn"), this), "btMoveDown");
    gdProperties = named(new QTableWidget(0, 2, this), "gdProperties");
    gdProperties->setHorizontalHeaderLabels({tr("Property"), tr("Value")});
    gdProperties->horizontalHeader()->setStretchLastSection(true);
    gdProperties->verticalHeader()->hide();
    gdProperties->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    btClose = named(new QPushButton(tr("Close"), this), "btClose");

    auto *tools = new QHBoxLayout;
    for (QPushButton *b : {btAdd, btDelete, btMoveUp, btMoveDown})
        tools->addWidget(b);
    tools->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(btClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(lbItems, 1);
    layout->addWidget(gdProperties, 1);
    layout->addLayout(bottom);

    connect(btAdd, &QPushButton::clicked, this, &TCollectionEditor::AddClick);
    connect(btDelete, &QPushButton::clicked, this, &TCollectionEditor::DeleteClick);
    connect(btMoveUp, &QPushButton::clicked, this, &TCollectionEditor::MoveUpClick);
    connect(btMoveDown, &QPushButton::clicked, this, &TCollectionEditor::MoveDownClick);
    connect(lbItems, &QListWidget::currentRowChanged, this, [this] {
        UpdateButtons();
        UpdateProperties();
    });
    connect(gdProperties, &QTableWidget::cellChanged, this, &TCollectionEditor::propertyEdited);
    bindModalResult(btClose, mrOk);
}

TCollectionEditor::~TCollectionEditor() = default;

void TCollectionEditor::Setup(const IDesignerPtr &ADesigner, QObject *AComponent,
                              TCollection *ACollection, const QString &APropertyName,
                              TColOptions AOptions)
{
    if (FCollection)
        disconnect(FCollection, nullptr, this, nullptr);
    FDesigner = ADesigner;
    FComponent = AComponent;
    FCollection = ACollection;
    FPropertyName = APropertyName;
    FOptions = AOptions;
    setWindowTitle(
        tr("Editing %1.%2").arg(AComponent ? AComponent->objectName() : QString(), APropertyName));
    // Item values edited elsewhere (or a renamed item) show at once; a
    // collection that goes away takes the editor's view of it along.
    connect(ACollection, &TCollection::Changed, this, &TCollectionEditor::itemsChanged);
    connect(ACollection, &QObject::destroyed, this, [this] {
        FCollection = nullptr;
        UpdateListbox();
    });
    UpdateListbox();
    SetItemIndex(ACollection->Count() > 0 ? 0 : -1);
}

int TCollectionEditor::ItemIndex() const
{
    return lbItems->currentRow();
}

void TCollectionEditor::SetItemIndex(int Value)
{
    lbItems->setCurrentRow(Value);
    UpdateButtons();
    UpdateProperties();
}

QStringList TCollectionEditor::ItemCaptions() const
{
    QStringList captions;
    for (int i = 0; i < lbItems->count(); ++i)
        captions << lbItems->item(i)->text();
    return captions;
}

void TCollectionEditor::UpdateListbox()
{
    const int keep = lbItems->currentRow();
    const QSignalBlocker block(lbItems);
    lbItems->clear();
    const int count = FCollection ? FCollection->Count() : 0;
    for (int i = 0; i < count; ++i) {
        QString name = FCollection->Item(i)->DisplayName();
        if (name.isEmpty())
            name = FCollection->ItemClassName();
        lbItems->addItem(QStringLiteral("%1 - %2").arg(i).arg(name));
    }
    lbItems->setCurrentRow(std::min(keep, count - 1));
}

void TCollectionEditor::UpdateButtons()
{
    const int index = ItemIndex();
    const int count = FCollection ? FCollection->Count() : 0;
    btAdd->setEnabled(FCollection && FOptions.testFlag(TColOption::coAdd));
    btDelete->setEnabled(FOptions.testFlag(TColOption::coDelete) && index >= 0);
    btMoveUp->setEnabled(FOptions.testFlag(TColOption::coMove) && index > 0);
    btMoveDown->setEnabled(FOptions.testFlag(TColOption::coMove) && index >= 0
                           && index < count - 1);
}

void TCollectionEditor::UpdateProperties()
{
    FFilling = true;
    gdProperties->setRowCount(0);
    const int index = ItemIndex();
    if (FCollection && index >= 0) {
        const QObject *item = FCollection->Item(index);
        for (const QMetaProperty &p : itemProperties(item)) {
            const int row = gdProperties->rowCount();
            gdProperties->insertRow(row);
            auto *name = new QTableWidgetItem(QString::fromLatin1(p.name()));
            name->setFlags(Qt::ItemIsEnabled);
            gdProperties->setItem(row, 0, name);
            auto *value = new QTableWidgetItem(textOf(p, item));
            if (!p.isWritable())
                value->setFlags(Qt::ItemIsEnabled);
            gdProperties->setItem(row, 1, value);
        }
    }
    FFilling = false;
}

void TCollectionEditor::itemsChanged()
{
    if (FFilling)
        return;
    UpdateListbox();
    UpdateButtons();
}

void TCollectionEditor::modified()
{
    if (FDesigner)
        FDesigner->Modified();
}

void TCollectionEditor::AddClick()
{
    if (!FCollection || !FOptions.testFlag(TColOption::coAdd))
        return;
    FCollection->Add();
    modified();
    UpdateListbox();
    SetItemIndex(FCollection->Count() - 1);
}

void TCollectionEditor::DeleteClick()
{
    const int index = ItemIndex();
    if (!FCollection || !FOptions.testFlag(TColOption::coDelete) || index < 0)
        return;
    FCollection->Delete(index);
    modified();
    UpdateListbox();
    SetItemIndex(std::min(index, FCollection->Count() - 1));
}

void TCollectionEditor::MoveUpClick()
{
    const int index = ItemIndex();
    if (!FCollection || !FOptions.testFlag(TColOption::coMove) || index <= 0)
        return;
    FCollection->Move(index, index - 1);
    modified();
    UpdateListbox();
    SetItemIndex(index - 1);
}

void TCollectionEditor::MoveDownClick()
{
    const int index = ItemIndex();
    if (!FCollection || !FOptions.testFlag(TColOption::coMove) || index < 0
        || index >= FCollection->Count() - 1)
        return;
    FCollection->Move(index, index + 1);
    modified();
    UpdateListbox();
    SetItemIndex(index + 1);
}

void TCollectionEditor::SetItemProperty(const QString &Name, const QString &Text)
{
    writeProperty(Name, Text);
    UpdateProperties();
}

QString TCollectionEditor::writeProperty(const QString &Name, const QString &Text)
{
    const int index = ItemIndex();
    if (!FCollection || index < 0)
        throw EPropertyError(QStringLiteral("No item is selected to set %1").arg(Name));
    QObject *item = FCollection->Item(index);
    const QMetaObject *meta = item->metaObject();
    const int p = meta->indexOfProperty(Name.toLatin1().constData());
    if (p < QObject::staticMetaObject.propertyCount() || !meta->property(p).isWritable())
        throw EPropertyError(QStringLiteral("%1 has no writable property %2")
                                 .arg(QString::fromLatin1(meta->className()), Name));
    const QMetaProperty prop = meta->property(p);
    const QVariant value = valueOf(prop, Text);
    bool written;
    {
        const QScopedValueRollback<bool> filling(FFilling, true);
        written = prop.write(item, value);
    }
    if (!written)
        throw EPropertyError(QStringLiteral("'%1' is not a valid value for %2").arg(Text, Name));
    modified();
    UpdateListbox();
    return textOf(prop, item);
}

QString TCollectionEditor::ItemProperty(const QString &Name) const
{
    for (int row = 0; row < gdProperties->rowCount(); ++row) {
        if (gdProperties->item(row, 0)->text() == Name)
            return gdProperties->item(row, 1)->text();
    }
    return {};
}

// A value typed into the grid: written and shown as the item now holds it, or
// put back when the type refuses it. Only the edited cell changes: the grid
// is inside its own change notification.
void TCollectionEditor::propertyEdited(int Row, int Column)
{
    if (FFilling || Column != 1)
        return;
    const QString name = gdProperties->item(Row, 0)->text();
    QString shown;
    QString error;
    try {
        shown = writeProperty(name, gdProperties->item(Row, 1)->text());
    } catch (const Exception &e) {
        error = e.Message();
        QObject *item = FCollection && ItemIndex() >= 0 ? FCollection->Item(ItemIndex()) : nullptr;
        const QMetaObject *meta = item ? item->metaObject() : nullptr;
        const int p = meta ? meta->indexOfProperty(name.toLatin1().constData()) : -1;
        shown = p >= 0 ? textOf(meta->property(p), item) : QString();
    }
    {
        const QScopedValueRollback<bool> filling(FFilling, true);
        gdProperties->item(Row, 1)->setText(shown);
    }
    if (!error.isEmpty())
        MessageDlg(error, mtError, mbOK);
}

void ShowCollectionEditorClass(const IDesignerPtr &ADesigner,
                               TCollectionEditorClass CollectionEditorClass, QObject *AComponent,
                               TCollection *Collection, const QString &PropertyName,
                               TColOptions ColOptions)
{
    if (!Collection)
        throw EDesignError(
            QStringLiteral("No collection to edit for %1.%2")
                .arg(AComponent ? AComponent->objectName() : QString(), PropertyName));
    const QMetaObject *cls
        = CollectionEditorClass ? CollectionEditorClass : &TCollectionEditor::staticMetaObject;
    if (!cls->inherits(&TCollectionEditor::staticMetaObject))
        throw EDesignError(QStringLiteral("%1 is no collection editor class")
                               .arg(QLatin1String(cls->className())));
    std::unique_ptr<QObject> instance(cls->newInstance());
    auto *editor = qobject_cast<TCollectionEditor *>(instance.get());
    if (!editor)
        throw EDesignError(QStringLiteral("%1 cannot be created (no invokable constructor)")
                               .arg(QLatin1String(cls->className())));
    editor->Setup(ADesigner, AComponent, Collection, PropertyName, ColOptions);
    editor->ShowModal();
}
