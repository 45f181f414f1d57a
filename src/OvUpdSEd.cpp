#include "OvUpdSEd.h"
#include "ui_OvUpdSEd.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QItemSelection>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>

#include <algorithm>
#include <cmath>

void OvUpdSEdInitialization() {}
void OvUpdSEdFinalization() {}

namespace {

// Fmt with its first "%s" replaced by Arg; Arg itself is never scanned, so a
// "%" typed by the user stays as it is.
QString formatS(const QString &Fmt, const QString &Arg)
{
    QString result = Fmt;
    const qsizetype at = result.indexOf(QLatin1String("%s"));
    if (at >= 0)
        result.replace(at, 2, Arg);
    return result;
}

// Shows the error an event handler raised, as the environment's event loop
// does: an exception must not unwind through Qt's.
template<class F>
void runHandler(F &&Handler)
{
    try {
        Handler();
    } catch (const Exception &e) {
        MessageDlg(e.Message(), mtError, mbOK);
    }
}

} // namespace

// --- TOvListBox

TOvListBox::TOvListBox(QWidget *Parent)
    : QListWidget(Parent)
{}

void TOvListBox::SetHorizontalExtent(int Value)
{
    m_horizontalExtent = qMax(0, Value);
    updateGeometries();
}

void TOvListBox::updateGeometries()
{
    QListWidget::updateGeometries();
    const int excess = m_horizontalExtent - viewport()->width();
    if (excess > horizontalScrollBar()->maximum())
        horizontalScrollBar()->setRange(0, excess);
}

// --- TOvRadioGroup

TOvRadioGroup::TOvRadioGroup(QWidget *Parent)
    : QGroupBox(Parent)
{}

QList<QRadioButton *> TOvRadioGroup::Buttons() const
{
    return findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
}

QStringList TOvRadioGroup::Items() const
{
    QStringList items;
    for (const QRadioButton *button : Buttons())
        items.append(button->text());
    return items;
}

int TOvRadioGroup::ItemIndex() const
{
    const QList<QRadioButton *> buttons = Buttons();
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons.at(i)->isChecked())
            return i;
    return -1;
}

void TOvRadioGroup::SetItemIndex(int Value)
{
    const QList<QRadioButton *> buttons = Buttons();
    if (Value >= 0 && Value < buttons.size()) {
        buttons.at(Value)->setChecked(true);
        return;
    }
    // No item: an exclusive button refuses to uncheck itself.
    for (QRadioButton *button : buttons) {
        const bool exclusive = button->autoExclusive();
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(exclusive);
    }
}

// --- TOvUpdateSQLEditForm

TOvUpdateSQLEditForm::TOvUpdateSQLEditForm(QWidget *AOwner)
    : TForm(AOwner)
    , m_ui(std::make_unique<Ui::OvUpdateSQLEditForm>())
{
    m_ui->setupUi(this);
    pcUpdateSQL = m_ui->pcUpdateSQL;
    tsOptions = m_ui->tsOptions;
    gbxGenSQL = m_ui->gbxGenSQL;
    lblTableName = m_ui->lblTableName;
    cbTableName = m_ui->cbTableName;
    btGetTableFields = m_ui->btGetTableFields;
    btDataSetDefaults = m_ui->btDataSetDefaults;
    btSelectPrimKeys = m_ui->btSelectPrimKeys;
    btGenerateSQL = m_ui->btGenerateSQL;
    cbQuotedFields = m_ui->cbQuotedFields;
    lblKeyFields = m_ui->lblKeyFields;
    lbKeyFields = m_ui->lbKeyFields;
    lblUpdateFields = m_ui->lblUpdateFields;
    lbUpdateFields = m_ui->lbUpdateFields;
    tsSQL = m_ui->tsSQL;
    rgrStatementType = m_ui->rgrStatementType;
    lblSQLText = m_ui->lblSQLText;
    meSQLText = m_ui->meSQLText;
    pnlButton = m_ui->pnlButton;
    btOk = m_ui->btOk;
    btCancel = m_ui->btCancel;
    miSelectAll = m_ui->miSelectAll;
    miClearAll = m_ui->miClearAll;

    // A dialog border: fixed size, a title and a close box, nothing to
    // minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(475, 280);

    pmFields = new QMenu(this);
    pmFields->setObjectName(QStringLiteral("pmFields"));
    pmFields->addAction(miSelectAll);
    pmFields->addAction(miClearAll);

    // Bound events. A handler that raises shows its message; the dialog stays.
    const auto bind = [this](auto *Sender, auto Signal, void (TOvUpdateSQLEditForm::*Handler)()) {
        connect(Sender, Signal, this, [this, Handler] { runHandler([&] { (this->*Handler)(); }); });
    };
    bind(cbTableName, &QComboBox::currentTextChanged, &TOvUpdateSQLEditForm::cbTableNameChange);
    bind(btGetTableFields, &QPushButton::clicked, &TOvUpdateSQLEditForm::GetTableFieldsClick);
    bind(btDataSetDefaults, &QPushButton::clicked, &TOvUpdateSQLEditForm::DataSetDefaultsClick);
    bind(btSelectPrimKeys, &QPushButton::clicked, &TOvUpdateSQLEditForm::btSelectPrimKeysClick);
    bind(btGenerateSQL, &QPushButton::clicked, &TOvUpdateSQLEditForm::GenerateSQLClick);
    bind(miSelectAll, &QAction::triggered, &TOvUpdateSQLEditForm::SelectAllClick);
    bind(miClearAll, &QAction::triggered, &TOvUpdateSQLEditForm::ClearAllClick);
    // The group's click: an item becoming the chosen one, by hand or in code.
    for (QRadioButton *button : rgrStatementType->Buttons())
        connect(button, &QRadioButton::toggled, this, [this](bool Checked) {
            if (Checked)
                runHandler([this] { StatementTypeClick(); });
        });
    for (TOvListBox *list : {lbKeyFields, lbUpdateFields})
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint &Pos) { popupFields(list, list->mapToGlobal(Pos)); });
    meSQLText->installEventFilter(this);
    bindModalResult(btOk, mrOk);
    bindModalResult(btCancel, mrCancel);
    OnCloseQuery = [this](QObject *Sender, bool &CanClose) {
        runHandler([&] { FormCloseQuery(Sender, CanClose); });
    };

    FormCreate();
}

TOvUpdateSQLEditForm::~TOvUpdateSQLEditForm()
{
    // The controls go first, while everything their last signals could reach
    // still exists; then the lists.
    OnCloseQuery = nullptr;
    meSQLText->removeEventFilter(this);
    delete pmFields;
    delete pnlButton;
    delete pcUpdateSQL;
    FormDestroy();
}

void TOvUpdateSQLEditForm::FormCreate()
{
    FRefreshSQL = std::make_unique<TStringList>();
    FModifySQL = std::make_unique<TStringList>();
    FInsertSQL = std::make_unique<TStringList>();
    FDeleteSQL = std::make_unique<TStringList>();
    FFieldInfo = std::make_unique<TStringList>();
    FTableInfo = std::make_unique<TStringList>();
    FFieldInfo->OnChange = [this](QObject *) {
        m_aliasIndex.reset();
    };
    FUpdateSQL = nullptr;
    pcUpdateSQL->setCurrentWidget(tsOptions);
    cbTableName->setFocus();
}

void TOvUpdateSQLEditForm::FormDestroy()
{
    FRefreshSQL.reset();
    FModifySQL.reset();
    FInsertSQL.reset();
    FDeleteSQL.reset();
    FFieldInfo.reset();
    FTableInfo.reset();
}

bool TOvUpdateSQLEditForm::eventFilter(QObject *Watched, QEvent *Event)
{
    // Leaving the memo for another control of the form; a window that merely
    // loses activation (a message box, a popup) keeps the focus where it is.
    if (Watched == meSQLText && Event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(Event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            runHandler([this] { SQLTextExit(); });
    }
    return TForm::eventFilter(Watched, Event);
}

TStrings *TOvUpdateSQLEditForm::statementBuffer(int Index) const
{
    switch (Index) {
    case 0:
        return FRefreshSQL.get();
    case 1:
        return FModifySQL.get();
    case 2:
        return FInsertSQL.get();
    case 3:
        return FDeleteSQL.get();
    default:
        return nullptr;
    }
}

void TOvUpdateSQLEditForm::InitProperties()
{
    LoadDefaultOptions();
    SelectAllFields();
    LoadStatements();
    DataSetDefaultsClick();
    StatementTypeClick();
    cbTableNameChange();
}

void TOvUpdateSQLEditForm::LoadDefaultOptions()
{
    // Every dataset says whether its database knows owners, so that a table
    // typed as owner.table keeps its owner there, whatever the dataset is.
    if (TOvDataSet *dataSet = FUpdateSQL ? FUpdateSQL->DataSet() : nullptr)
        FObjOwnerSupported = dataSet->IsObjOwnerSupported();
    TOvQuery *query = FUpdateSQL ? qobject_cast<TOvQuery *>(FUpdateSQL->DataSet()) : nullptr;
    if (!query)
        return;
    CursorGuard hourglass(crHourGlass);
    FFieldInfo->Clear();
    FTableInfo->Clear();
    query->ParseFieldInfoFromSQL(query->SQL()->Text(), FFieldInfo.get(), FTableInfo.get(), nullptr);
    FObjOwnerSupported = query->IsObjOwnerSupported();
    cbTableName->clear();
    cbTableName->clearEditText();
    lbKeyFields->clear();
    lbUpdateFields->clear();
    QStringList tables;
    for (int i = 0; i < FTableInfo->Count(); ++i) {
        const QString name = FTableInfo->Names(i);
        if (!name.isEmpty())
            tables.append(FTableInfo->Values(name));
    }
    cbTableName->addItems(tables);
    if (cbTableName->count() > 0)
        cbTableName->setCurrentIndex(0);
}

void TOvUpdateSQLEditForm::LoadStatements()
{
    if (!FUpdateSQL)
        return;
    for (int i = 0; i < 4; ++i)
        statementBuffer(i)->Assign(*FUpdateSQL->GetSQLIndex(i));
}

void TOvUpdateSQLEditForm::SaveStatements()
{
    if (!FUpdateSQL)
        return;
    for (int i = 0; i < 4; ++i)
        FUpdateSQL->GetSQLIndex(i)->Assign(*statementBuffer(i));
}

void TOvUpdateSQLEditForm::SelectAllFields()
{
    PopupComponent = lbKeyFields;
    SelectAllClick();
    PopupComponent = lbUpdateFields;
    SelectAllClick();
}

void TOvUpdateSQLEditForm::SetSelectedAllItems(QListWidget *ListBox, bool Value)
{
    if (Value)
        ListBox->selectAll();
    else
        ListBox->clearSelection();
}

void TOvUpdateSQLEditForm::popupFields(QWidget *List, const QPoint &Pos)
{
    PopupComponent = List;
    pmFields->popup(Pos);
}

void TOvUpdateSQLEditForm::SelectAllClick()
{
    if (PopupComponent == lbKeyFields || PopupComponent == lbUpdateFields)
        SetSelectedAllItems(static_cast<QListWidget *>(PopupComponent), true);
}

void TOvUpdateSQLEditForm::ClearAllClick()
{
    if (PopupComponent == lbKeyFields || PopupComponent == lbUpdateFields)
        SetSelectedAllItems(static_cast<QListWidget *>(PopupComponent), false);
}

// The lists hold columns of the chosen table, as the generators use them:
// a dataset field that shows such a column (CNAME for NAME) stands for that
// column, and FindFieldAlias gives its parameters the field's name again. A
// field that shows a column of another table, or no column, is left out.
void TOvUpdateSQLEditForm::DataSetDefaultsClick()
{
    lbKeyFields->clear();
    lbUpdateFields->clear();
    const QString table = cbTableName->currentText();
    QStringList names;
    QSet<QString> listed;
    for (int i = 0; i < FFieldInfo->Count(); ++i) {
        if (FFieldInfo->Names(i).isEmpty())
            continue;
        const QString origin = FFieldInfo->ValueFromIndex(i);
        const qsizetype dot = origin.lastIndexOf(u'.', -2); // as FindFieldAlias splits
        if (dot < 0 || QStringView(origin).left(dot) != table)
            continue;
        const QString column = origin.mid(dot + 1);
        if (!listed.contains(column.toCaseFolded())) {
            listed.insert(column.toCaseFolded());
            names.append(column);
        }
    }
    lbKeyFields->addItems(names);
    lbUpdateFields->addItems(names);
    SetSelectedAllItems(lbKeyFields, true);
    SetSelectedAllItems(lbUpdateFields, true);
    btDataSetDefaults->setEnabled(false);
}

void TOvUpdateSQLEditForm::GetTableFieldsClick()
{
    TOvDataSet *dataSet = FUpdateSQL ? FUpdateSQL->DataSet() : nullptr;
    if (!dataSet)
        throw Exception(QStringLiteral("Assertion failed: Get Table Fields needs an update "
                                       "object with a dataset"));

    // Quote characters go; the one that moves into a freed position is not
    // looked at, so of a doubled quote one stays.
    const QString typed = cbTableName->currentText();
    QString tableName = typed;
    for (qsizetype i = 0; i < tableName.size(); ++i)
        if (tableName.at(i) == u'"' || tableName.at(i) == u'\'')
            tableName.remove(i, 1);
    // Unless a part needs its quotes to stay what it is: without them the
    // dot of "a.b" would split off an owner and the blanks of " T " would
    // go, and the fields of another table would be listed. The look-ups
    // read quoted parts as written.
    if (const auto parts = SplitIdentifierParts(typed)) {
        const bool needsQuotes
            = std::any_of(parts->begin(), parts->end(), [](const TOvNamePart &P) {
                  return P.Quoted
                         && (P.Text.contains(u'.') || P.Text.contains(u'"')
                             || P.Text.contains(u'\'') || P.Text != P.Text.trimmed());
              });
        if (needsQuotes)
            tableName = typed;
    }

    TStringList fieldNames;
    dataSet->GetDBSession()->GetFieldNames(
        dataSet->DatabaseName(), GetValidObjName(tableName, !FObjOwnerSupported), &fieldNames);
    if (fieldNames.Count() == 0) {
        MessageDlg(formatS(SSQLDataSetOpen(), tableName), mtError, mbOK);
    } else {
        lbKeyFields->clear();
        lbUpdateFields->clear();
        QStringList names;
        for (const QString &entry : fieldNames.toStringList())
            if (!entry.isEmpty())
                names.append(Trim(entry));
        lbKeyFields->addItems(names);
        lbUpdateFields->addItems(names);
        // Wide enough to scroll to the end of the longest name, measured in
        // each list's font (once when both use the same). A name of Latin
        // letters without combining marks is measured as the sum of its
        // characters' advances, each measured once: never narrower than the
        // name laid out (kerning only narrows it), and a thousand names do
        // not each go through text shaping.
        const auto widest = [&fieldNames](const QFont &Font) {
            const QFontMetrics metrics(Font);
            const QFontMetricsF exact(Font);
            QHash<char16_t, qreal> advances;
            const auto simpleWidth = [&](const QString &Text) {
                qreal width = 0;
                for (const QChar c : Text) {
                    auto it = advances.constFind(c.unicode());
                    if (it == advances.cend())
                        it = advances.insert(c.unicode(), exact.horizontalAdvance(c));
                    width += *it;
                }
                return int(std::ceil(width));
            };
            int extent = 0;
            for (const QString &entry : fieldNames.toStringList()) {
                if (entry.isEmpty())
                    continue;
                const QString text = entry + u'A';
                const bool simple = std::all_of(text.cbegin(), text.cend(),
                                                [](QChar c) { return c.unicode() < 0x300; });
                extent = qMax(extent, simple ? simpleWidth(text) : metrics.horizontalAdvance(text));
            }
            return extent;
        };
        const int keyExtent = widest(lbKeyFields->font());
        lbKeyFields->SetHorizontalExtent(keyExtent);
        lbUpdateFields->SetHorizontalExtent(lbUpdateFields->font() == lbKeyFields->font()
                                                ? keyExtent
                                                : widest(lbUpdateFields->font()));
    }
    SetSelectedAllItems(lbKeyFields, true);
    SetSelectedAllItems(lbUpdateFields, true);
    btDataSetDefaults->setEnabled(true);
}

void TOvUpdateSQLEditForm::btSelectPrimKeysClick()
{
    TOvDataSet *dataSet = FUpdateSQL ? FUpdateSQL->DataSet() : nullptr;
    if (!dataSet)
        return;
    // A session without this database has no index information to give.
    TOvDatabase *database = dataSet->GetDBSession()->FindDatabase(dataSet->DatabaseName());
    if (!database)
        return;
    const std::unique_ptr<TDataSet> indexes
        = database->GetSchemaInfo(TOvSchemaType::stIndexes, cbTableName->currentText());
    if (!indexes)
        return;

    QList<TOvIndexColumn> indexColumns;
    const TField *indexType = indexes->FieldByName(QStringLiteral("INDEX_TYPE"));
    const TField *columnName = indexes->FieldByName(QStringLiteral("COLUMN_NAME"));
    const TField *indexName = indexes->FieldByName(QStringLiteral("INDEX_NAME"));
    for (; !indexes->Eof(); indexes->Next()) {
        if (indexType->IsNull())
            continue;
        indexColumns.append({Trim(indexName->AsString()), int(indexType->AsInteger()),
                             Trim(columnName->AsString()), 0});
    }
    // A unique index is a key only on columns that cannot be NULL: what
    // may be NULL, the table's columns say.
    QSet<QString> nullable;
    if (const std::unique_ptr<TDataSet> columns = database->GetSchemaInfo(
            TOvSchemaType::stColumns,
            GetValidObjName(cbTableName->currentText(), !FObjOwnerSupported))) {
        const TField *name = columns->FieldByName(QStringLiteral("COLUMN_NAME"));
        const TField *mayBeNull = columns->FindField(QStringLiteral("COLUMN_NULLABLE"));
        for (columns->First(); mayBeNull && !columns->Eof(); columns->Next()) {
            if (mayBeNull->AsInteger() != 0)
                nullable.insert(name->AsString().toCaseFolded());
        }
    }
    const std::optional<TOvRowKey> rowKey = ChooseRowKey(indexColumns, nullable);
    m_noRowKey = !rowKey;
    m_nullSafeKeys.clear();
    // The key names folded once: the list's case-insensitive search, without
    // a scan of the keys per item.
    QSet<QString> folded;
    if (rowKey) {
        for (const QString &column : rowKey->Columns)
            folded.insert(column.toCaseFolded());
        for (const QString &column : rowKey->NullSafeColumns)
            m_nullSafeKeys.insert(column.toCaseFolded());
    }

    SetSelectedAllItems(lbKeyFields, false);
    QItemSelection selection;
    for (int row = 0; row < lbKeyFields->count(); ++row) {
        if (folded.contains(lbKeyFields->item(row)->text().toCaseFolded())) {
            const QModelIndex index = lbKeyFields->model()->index(row, 0);
            selection.select(index, index);
        }
    }
    if (!selection.isEmpty())
        lbKeyFields->selectionModel()->select(selection, QItemSelectionModel::Select);
}

void TOvUpdateSQLEditForm::GenerateSQLClick()
{
    // A table no statement can write is refused first: no key chosen by
    // hand would make its statements run.
    if (TOvDatabase *database = connectedDatabase()) {
        const QString table = GetValidObjName(cbTableName->currentText(), !FObjOwnerSupported);
        if (database->Driver().IsReadOnlyTable(table)) {
            MessageDlg(SSQLReadOnlyTable().arg(Trim(cbTableName->currentText())), mtError, mbOK);
            return;
        }
    }
    if (!lbKeyFields->selectionModel()->hasSelection()
        || !lbUpdateFields->selectionModel()->hasSelection()) {
        // Without a key the person is told why, and how to choose one.
        const bool noKey = m_noRowKey && !lbKeyFields->selectionModel()->hasSelection();
        MessageDlg(noKey ? SSQLNoRowKey().arg(Trim(cbTableName->currentText())) : SSQLGenSelect(),
                   mtError, mbOK);
        return;
    }
    // Checked before any buffer changes: a table text that names no table
    // raises here and leaves all four statements as they were.
    StatementTableName(cbTableName->currentText());
    loadTableColumns();
    const QStringList clashes = OldValueParamClashes();
    if (!clashes.isEmpty()) {
        MessageDlg(SSQLOldValueParamClash().arg(clashes.join(QStringLiteral(", "))), mtError, mbOK);
        return;
    }
    {
        const QScopedValueRollback<std::optional<TOvServerType>> server(m_generatingFor,
                                                                        serverType());
        GenerateModifySQL();
        GenerateInsertSQL();
        GenerateDeleteSQL();
        GenerateRefreshSQL();
    }
    // What was made is shown: the SQL page, on the modify statement (choosing
    // another statement shows it already).
    if (rgrStatementType->ItemIndex() == 1)
        StatementTypeClick();
    else
        rgrStatementType->SetItemIndex(1);
    pcUpdateSQL->setCurrentWidget(tsSQL);
}

TOvServerType TOvUpdateSQLEditForm::serverType() const
{
    if (m_generatingFor)
        return *m_generatingFor;
    const TOvDataSet *dataSet = FUpdateSQL ? FUpdateSQL->DataSet() : nullptr;
    return dataSet ? dataSet->ServerType() : DefServerType;
}

void TOvUpdateSQLEditForm::StatementTypeClick()
{
    if (const TStrings *buffer = statementBuffer(rgrStatementType->ItemIndex())) {
        // The memo breaks lines at each entry and inside the refresh
        // statement's first entry, which holds two.
        QString text = buffer->toStringList().join(u'\n');
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        meSQLText->setPlainText(text);
    }
}

void TOvUpdateSQLEditForm::SQLTextExit()
{
    if (TStrings *buffer = statementBuffer(rgrStatementType->ItemIndex()))
        buffer->SetText(meSQLText->toPlainText());
}

void TOvUpdateSQLEditForm::cbTableNameChange()
{
    m_noRowKey = false;
    m_nullSafeKeys.clear();
    const bool enabled
        = FUpdateSQL && FUpdateSQL->DataSet() && !Trim(cbTableName->currentText()).isEmpty();
    btGetTableFields->setEnabled(enabled);
    btSelectPrimKeys->setEnabled(enabled);
    btGenerateSQL->setEnabled(enabled);
}

// Prepares each statement on the dataset's database without running it,
// when that database is connected (checking never connects or prompts).
// Accepted: none failed, or the person keeps them anyway; otherwise the
// dialog goes back to the first that failed.
bool TOvUpdateSQLEditForm::statementsAccepted()
{
    static const char *const names[] = {"RefreshSQL", "ModifySQL", "InsertSQL", "DeleteSQL"};
    TOvDataSet *dataSet = FUpdateSQL ? FUpdateSQL->DataSet() : nullptr;
    TOvSession *session = dataSet ? Sessions().FindSession(dataSet->SessionName()) : nullptr;
    TOvDatabase *database = session ? session->FindDatabase(dataSet->DatabaseName()) : nullptr;
    if (!database || !database->Connected())
        return true;
    // The four travel together: one round trip to the server, not four.
    QStringList texts;
    QList<int> slotOf;
    for (int i = 0; i < 4; ++i) {
        const QString text = statementBuffer(i)->Text();
        if (Trim(text).isEmpty())
            continue;
        texts << text;
        slotOf << i;
    }
    QStringList failures;
    int first = -1;
    auto fail = [&](int Slot, const QString &Message) {
        failures << QStringLiteral("%1.%2: %3")
                        .arg(FUpdateSQL->objectName(), QLatin1String(names[Slot]),
                             Message.simplified());
        if (first < 0)
            first = Slot;
    };
    try {
        const std::vector<TOvAnswer<TOvStatementInfo>> answers
            = DescribeStatements(database->Driver(), texts);
        for (qsizetype i = 0; i < slotOf.size(); ++i)
            if (answers[i].Error)
                fail(slotOf[i], answers[i].Error->Message());
    } catch (const Exception &e) {
        fail(slotOf.value(0), e.Message()); // the connection failed: nothing was prepared
    }
    // Only No keeps them: Cancel (which Escape and closing the box answer)
    // goes back to the editor, as Yes does.
    if (failures.isEmpty()
        || MessageDlg(SSQLNotPrepared().arg(database->DatabaseName(), failures.join(u'\n')),
                      mtWarning, mbYesNoCancel)
               == mrNo)
        return true;
    pcUpdateSQL->setCurrentWidget(tsSQL);
    rgrStatementType->SetItemIndex(first);
    StatementTypeClick();
    meSQLText->setFocus();
    return false;
}

void TOvUpdateSQLEditForm::FormCloseQuery(QObject *Sender, bool &CanClose)
{
    Q_UNUSED(Sender);
    // ModalResult is the result asked for; a refusal takes it back.
    if (ModalResult() != mrOk) {
        CanClose = true;
        return;
    }
    // An edit still in the memo (OK by its accelerator leaves the focus
    // there) belongs to what is confirmed.
    if (focusWidget() == meSQLText)
        SQLTextExit();
    if (Trim(FModifySQL->Text()).isEmpty()
        && MessageDlg(SSQLNotGenerated(), mtConfirmation, mbYesNoCancel) != mrYes) {
        CanClose = false;
        return;
    }
    CanClose = statementsAccepted();
}

// --- EditUpdateSQL

bool EditUpdateSQL(TOvUpdateSQL *AUpdateSQL)
{
    if (!AUpdateSQL)
        return false;
    // A top-level dialog: the application owns it, this call frees it.
    const auto form = std::make_unique<TOvUpdateSQLEditForm>(nullptr);
    QString name;
    // Forms are widgets; a data module is not, and its name stays out.
    if (const QObject *owner = AUpdateSQL->parent(); owner && owner->isWidgetType())
        name = owner->objectName() + u'.';
    name += AUpdateSQL->objectName();
    const TOvDataSet *dataSet = AUpdateSQL->DataSet();
    form->setWindowTitle(
        QStringLiteral("%1 (%2)").arg(name, dataSet ? dataSet->objectName() : SNoDataSet()));
    form->SetUpdateSQL(AUpdateSQL);
    form->InitProperties();
    if (form->ShowModal() != mrOk)
        return false;
    form->SaveStatements();
    return true;
}
