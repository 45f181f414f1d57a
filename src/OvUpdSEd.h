#pragma once

#include "rtl/Classes.h"
#include "rtl/Forms.h"

#include "orvlib/OvTypes.h"

#include <QGroupBox>
#include <QHash>
#include <QListWidget>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

class TOvDatabase;
class TOvDriver;
class TOvUpdateSQL;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace Ui {
class OvUpdateSQLEditForm;
}

// Unit initialization and finalization of OvUpdSEd; the unit does no work at either.
void OvUpdSEdInitialization();
void OvUpdSEdFinalization();

// A list box: a list widget whose horizontal scroll range covers at least
// HorizontalExtent pixels, however narrow its items are laid out.
class TOvListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TOvListBox(QWidget *Parent = nullptr);

    int HorizontalExtent() const { return m_horizontalExtent; }
    void SetHorizontalExtent(int Value);

protected:
    void updateGeometries() override;

private:
    int m_horizontalExtent = 0;
};

// A radio group: a group box whose radio buttons, in the order they were
// created, are its items. ItemIndex is the checked one, -1 when none is.
class TOvRadioGroup : public QGroupBox
{
    Q_OBJECT

public:
    explicit TOvRadioGroup(QWidget *Parent = nullptr);

    QList<QRadioButton *> Buttons() const;
    QStringList Items() const;
    int ItemIndex() const;
    void SetItemIndex(int Value);
};

// The UpdateSQL editor: a modal dialog on one update object that shows its
// four statements (refresh, modify, insert, delete) for editing and can
// generate them from a table, its key fields and its update fields. Nothing
// reaches the update object before OK (SaveStatements).
//
// The controls are those of the layout resource OvUpdSEd.ui; the form owns
// them through Qt's parent chain and publishes them under their layout names.
class TOvUpdateSQLEditForm : public TForm
{
    Q_OBJECT

public:
    explicit TOvUpdateSQLEditForm(QWidget *AOwner = nullptr);
    ~TOvUpdateSQLEditForm() override;

    // Layout controls.
    QTabWidget *pcUpdateSQL = nullptr;
    QWidget *tsOptions = nullptr;
    QGroupBox *gbxGenSQL = nullptr;
    QLabel *lblTableName = nullptr;
    QComboBox *cbTableName = nullptr;
    QPushButton *btGetTableFields = nullptr;
    QPushButton *btDataSetDefaults = nullptr;
    QPushButton *btSelectPrimKeys = nullptr;
    QPushButton *btGenerateSQL = nullptr;
    QCheckBox *cbQuotedFields = nullptr;
    QLabel *lblKeyFields = nullptr;
    TOvListBox *lbKeyFields = nullptr;
    QLabel *lblUpdateFields = nullptr;
    TOvListBox *lbUpdateFields = nullptr;
    QWidget *tsSQL = nullptr;
    TOvRadioGroup *rgrStatementType = nullptr;
    QLabel *lblSQLText = nullptr;
    QPlainTextEdit *meSQLText = nullptr;
    QFrame *pnlButton = nullptr;
    QPushButton *btOk = nullptr;
    QPushButton *btCancel = nullptr;
    // The popup menu of both list boxes; PopupComponent is the list box it
    // was last opened on (null before that).
    QMenu *pmFields = nullptr;
    QAction *miSelectAll = nullptr;
    QAction *miClearAll = nullptr;
    QWidget *PopupComponent = nullptr;

    TOvUpdateSQL *UpdateSQL() const { return FUpdateSQL; }
    void SetUpdateSQL(TOvUpdateSQL *Value) { FUpdateSQL = Value; }

    // Fills the form from the update object: defaults from its dataset, the
    // four statements, the memo and the state of the action buttons.
    void InitProperties();
    // Writes the four buffers into the update object's statement lists.
    void SaveStatements();
    // Column AIdentName as the statements write it: in the server's quotes
    // when "Quote Field Names" is checked or when, written bare, the server
    // would read another name (letter case it folds, a reserved word, a
    // blank); else unchanged.
    QString QuoteName(const QString &AIdentName) const;

    // Event handlers, bound to the controls in the constructor. Public so a
    // caller (or a test) can run each one as the control would.
    void FormCreate();
    void FormDestroy();
    void FormCloseQuery(QObject *Sender, bool &CanClose);
    void cbTableNameChange();
    void GetTableFieldsClick();
    void DataSetDefaultsClick();
    void btSelectPrimKeysClick();
    void GenerateSQLClick();
    void SelectAllClick();
    void ClearAllClick();
    void StatementTypeClick();
    void SQLTextExit();

    // Opens pmFields on List at the global position Pos, as a right click does.
    void popupFields(QWidget *List, const QPoint &Pos);

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    friend struct UpdateSQLEditFormAccess; // the tests' view of the buffers

    void LoadDefaultOptions();
    void LoadStatements();
    void SelectAllFields();
    void SetSelectedAllItems(QListWidget *ListBox, bool Value);

    void GenerateModifySQL();
    void GenerateRefreshSQL();
    void GenerateInsertSQL();
    void GenerateDeleteSQL();
    QString FindFieldAlias(const QString &ATableName, const QString &AFieldName) const;
    QString StatementTableName(const QString &TableText) const;
    // The selected update fields whose new-value parameter starts with
    // "OLD_": applying the statements would bind them to an old value.
    QStringList OldValueParamClashes() const;
    // Whether the modify and insert statements write Field (a generated
    // column and an identity column made ALWAYS are only read).
    bool isWritten(const QString &Field) const;
    // The server the statements are for: the dataset's, else the default.
    TOvServerType serverType() const;
    // The name and key rules of that server.
    const TOvDriver &rules() const;
    // A parameter name as the statements write it: the library reads
    // parameters alike on every server, quoted when checked or when needed.
    QString quoteParam(const QString &Name) const;
    // The table's column that list entry Field stands for: the catalogue's
    // spelling when the table's columns were read (exactly, else as the
    // server reads Field bare, else the one column that differs in letter
    // case only), else Field.
    QString columnName(const QString &Field) const;
    // The database of the dataset when it is connected already; null
    // otherwise (generating never connects or prompts for a login).
    TOvDatabase *connectedDatabase() const;
    // Reads the chosen table's columns (their names, which are written) into
    // m_tableColumns; empty when no connected database says.
    void loadTableColumns();
    void AddKeyConditions(TStrings &SQL, const QString &TableText) const;
    // Whether OK may close the dialog as far as the statements are
    // concerned: checked on a connected database, or kept anyway.
    bool statementsAccepted();

    // The buffer of statement slot Index (0 refresh, 1 modify, 2 insert,
    // 3 delete); null for any other index.
    TStrings *statementBuffer(int Index) const;

    std::unique_ptr<Ui::OvUpdateSQLEditForm> m_ui;

    std::unique_ptr<TStringList> FRefreshSQL;
    std::unique_ptr<TStringList> FModifySQL;
    std::unique_ptr<TStringList> FInsertSQL;
    std::unique_ptr<TStringList> FDeleteSQL;
    TOvUpdateSQL *FUpdateSQL = nullptr;
    std::unique_ptr<TStringList> FFieldInfo;
    std::unique_ptr<TStringList> FTableInfo;
    bool FObjOwnerSupported = false;

    // FFieldInfo indexed for FindFieldAlias: (table part, column part) to the
    // first field name showing that column. Built on first use, dropped
    // whenever FFieldInfo changes.
    mutable std::optional<QHash<QPair<QString, QString>, QString>> m_aliasIndex;
    // The chosen table's columns as the catalogue gave them, read when the
    // statements are generated.
    struct TableColumns
    {
        QHash<QString, QString> Exact;  // name to itself
        QHash<QString, QString> Folded; // case-folded name to the name; empty if two fold alike
        QSet<QString> Unwritable;       // case-folded: generated, identity ALWAYS
    };
    TableColumns m_tableColumns;
    // Set by Select Primary Keys: whether the table had no row key, and the
    // (case-folded) key columns compared with NULL equal to NULL. Both are
    // dropped when the table text changes.
    bool m_noRowKey = false;
    QSet<QString> m_nullSafeKeys;
    // The server type while the statements are generated: every name
    // written asks for it.
    std::optional<TOvServerType> m_generatingFor;
    // The rules rules() last handed out, and for which server: asked once
    // per name, they are looked up once per server.
    mutable const TOvDriver *m_rules = nullptr;
    mutable TOvServerType m_rulesFor = TOvServerType::stSQLite;
};

// Runs the UpdateSQL editor on AUpdateSQL; true when the person confirmed
// with OK and the four statements were written back.
bool EditUpdateSQL(TOvUpdateSQL *AUpdateSQL);
