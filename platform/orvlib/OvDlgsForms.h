#pragma once

#include "orvlib/OvDlgs.h"

#include "rtl/Classes.h"
#include "rtl/Forms.h"

#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;

// The forms behind ShowDatabaseParamsEditor, ShowSQLEditor,
// InputRemoteDatabaseValue and LoginDialog. Callers use those functions; the
// classes are here for scripts that want to reach a form by its class.

// Connection parameters. Controls: cbServerType (whose known parameters are
// listed), lbKnownParams (name, description), meParams, btDefaultParams,
// btCodeEditor, btOk (mrOk), btCancel (mrCancel).
class TOvDatabaseParamsDlg : public TForm
{
    Q_OBJECT

public:
    explicit TOvDatabaseParamsDlg(QWidget *AOwner = nullptr);

    TOvServerType ServerType() const;
    void SetServerType(TOvServerType Value);
    // The text being edited, as a list.
    void GetLines(TStrings &List) const;
    void SetLines(const TStrings &List);
    // Whether the text differs from the one SetLines last gave.
    bool Modified() const;

    TOvShowCodeEditorEvent ShowCodeEditor;
    TOvGetDefaultParamsEvent GetDefaultParams;
    // Shows or hides the two buttons after the events are set.
    void updateButtons();

    void btDefaultParamsClick();
    void btCodeEditorClick();
    // Appends "NAME=" for a known parameter the text does not name yet.
    void addKnownParam(const QString &Name);

private:
    void fillKnownParams();
    void knownParamActivated(QTreeWidgetItem *Item);

    QComboBox *cbServerType = nullptr;
    QTreeWidget *lbKnownParams = nullptr;
    QPlainTextEdit *meParams = nullptr;
    QPushButton *btDefaultParams = nullptr;
    QPushButton *btCodeEditor = nullptr;
    QString m_original;
};

// A query's SQL. Controls: meSQL, btCodeEditor, btOk (mrOk), btCancel (mrCancel).
class TOvSQLEditDlg : public TForm
{
    Q_OBJECT

public:
    explicit TOvSQLEditDlg(QWidget *AOwner = nullptr);

    void GetLines(TStrings &List) const;
    void SetLines(const TStrings &List);
    bool Modified() const;

    TOvShowCodeEditorEvent ShowCodeEditor;
    void updateButtons();
    void btCodeEditorClick();

private:
    QPlainTextEdit *meSQL = nullptr;
    QPushButton *btCodeEditor = nullptr;
    QString m_original;
};

// A PostgreSQL server and database. Controls: edServer, edPort, edDatabase,
// btOk (mrOk, enabled while a database is named), btCancel (mrCancel).
class TOvRemoteDatabaseDlg : public TForm
{
    Q_OBJECT

public:
    explicit TOvRemoteDatabaseDlg(QWidget *AOwner = nullptr);

    // Fills the fields from a remote database text; Value() keeps the form
    // of Original (a connection string stays one).
    void SetValue(const QString &Original);
    QString Value() const;

private:
    void updateButtons();

    QLineEdit *edServer = nullptr;
    QLineEdit *edPort = nullptr;
    QLineEdit *edDatabase = nullptr;
    QPushButton *btOk = nullptr;
    QString m_original;
};

// User name and password. Controls: lblDatabase, edUserName, edPassword,
// btOk (mrOk), btCancel (mrCancel).
class TOvLoginDlg : public TForm
{
    Q_OBJECT

public:
    explicit TOvLoginDlg(QWidget *AOwner = nullptr);

    void SetDatabase(const QString &Text);
    void SetUserName(const QString &Value);
    QString UserName() const;
    QString Password() const;

private:
    QLabel *lblDatabase = nullptr;
    QLineEdit *edUserName = nullptr;
    QLineEdit *edPassword = nullptr;
};

namespace ovdlgs {
using ::named;
// A caption for Buddy; its mnemonic moves the focus there.
QLabel *label(QWidget *Parent, const QString &Text, QWidget *Buddy, const char *Name);
// The login dialog for a connection described by Caption (database name and
// remote database); shared by LoginDialog and the database dialog's Test.
bool loginDialog(const QString &Caption, TStrings *LoginParams);
// A list as an editor shows it: its lines without the final line break.
QString editorText(const TStrings &List);
// The font for SQL and parameter text: the system's fixed-pitch font.
QFont codeFont();
} // namespace ovdlgs
