#pragma once

#include "orvlib/OvTypes.h"

#include "rtl/Classes.h"
#include "rtl/Forms.h"

#include <QString>

#include <functional>
#include <memory>

class TOvDatabase;
class TOvQuery;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The library's dialogs. Each is a TForm shown through the modal seam
// (TForm::ShowModal), and every control carries an object name, so a script
// can find it with findChild and drive it where a person would.

// Called when a dialog hands its text to the code editor: the list holds the
// dialog's current text, Modified says whether it differs from the text the
// dialog started with. The list lives only for the call.
using TOvShowCodeEditorEvent = std::function<void(TStrings *List, bool Modified)>;
// Asked for the default connection parameters: replaces the list's content.
using TOvGetDefaultParamsEvent = std::function<void(TStrings *List)>;

// The database dialog: every main setting of a database component. The
// dialog edits its own copies; the caller reads them back after OK.
//
// Controls: edDatabaseName, cbServerType, cbRemoteDatabase (editable; its
// drop-down shows RemoteDatabaseHistory), btBrowseRemoteDatabase,
// cbKeepConnection, cbLoginPrompt, cbDefaultDatabase, cbStoreConnected,
// meParams, btEditParams, btLoadDefaultParams, btSaveDefaultParams,
// btSaveDefaultSrvType, btTest, btOk (mrOk), btCancel (mrCancel).
class TOvDatabaseEditDlg : public TForm
{
    Q_OBJECT

public:
    // Dummy exists for callers that pass a second constructor argument (0).
    explicit TOvDatabaseEditDlg(QWidget *AOwner = nullptr, int Dummy = 0);
    ~TOvDatabaseEditDlg() override;

    // Resets every setting to that of a new database component (the default
    // server type, KeepConnection and LoginPrompt on, everything else empty
    // or off) and then, when List is given, applies its name=value lines
    // named after the properties: DatabaseName, ServerType (by name),
    // RemoteDatabase, KeepConnection, LoginPrompt, DefaultDatabase,
    // StoreConnected (true/false, 1/0, yes/no). Other lines are ignored;
    // Params and the history are not touched.
    void LoadData(TStrings *List);

    QString DatabaseName() const;
    void SetDatabaseName(const QString &Value);
    TOvServerType ServerType() const;
    void SetServerType(TOvServerType Value);
    QString RemoteDatabase() const;
    void SetRemoteDatabase(const QString &Value);
    // The list the remote-database drop-down shows, most recent first. The
    // dialog keeps the pointer (not owned; it must outlive the dialog), shows
    // a copy of its entries and never changes the list itself: entries are
    // added where a connection is made, not where a name is typed.
    TStrings *RemoteDatabaseHistory() const { return m_history; }
    void SetRemoteDatabaseHistory(TStrings *Value);
    bool KeepConnection() const;
    void SetKeepConnection(bool Value);
    bool LoginPrompt() const;
    void SetLoginPrompt(bool Value);
    bool DefaultDatabase() const;
    void SetDefaultDatabase(bool Value);
    bool StoreConnected() const;
    void SetStoreConnected(bool Value);
    // The dialog's own list, kept in step with the parameters editor. The
    // setter copies (null clears; the list itself is safe).
    TStrings *Params() const { return m_params.get(); }
    void SetParams(TStrings *Value);

    // Asked for the default parameters: by the parameter editor's default
    // button, and by the load button when OnLoadDefaultParamsClick is unset.
    TOvGetDefaultParamsEvent GetDefaultParams;
    // The three settings buttons; Sender is the dialog. An exception from a
    // handler is reported in an error box and leaves the dialog open.
    TNotifyEvent OnLoadDefaultParamsClick;
    TNotifyEvent OnSaveDefaultParamsClick;
    TNotifyEvent OnSaveDefaultSrvTypeClick;

    // Button actions, callable without a click.
    void btLoadDefaultParamsClick();
    void btSaveDefaultParamsClick();
    void btSaveDefaultSrvTypeClick();
    // Opens a temporary connection with the chosen server type's driver, the
    // current RemoteDatabase and Params (asking for the login first when
    // LoginPrompt is on and the server needs one), closes it again and
    // reports the outcome: an information box on success, an error box with
    // the server's message on failure. Nothing of the dialog changes.
    void btTestClick();
    // Chooses the remote database with InputRemoteDatabaseValue.
    void btBrowseRemoteDatabaseClick();
    // Edits Params in the parameter editor (known parameters of the chosen
    // server type, default parameters through GetDefaultParams).
    void btEditParamsClick();

private:
    void buildLayout();
    void paramsTextChanged();
    void showParams();
    void serverTypeChanged();
    // Runs Action; an exception is reported in an error box.
    void guarded(const std::function<void()> &Action);

    QLineEdit *edDatabaseName = nullptr;
    QComboBox *cbServerType = nullptr;
    QComboBox *cbRemoteDatabase = nullptr;
    QToolButton *btBrowseRemoteDatabase = nullptr;
    QCheckBox *cbKeepConnection = nullptr;
    QCheckBox *cbLoginPrompt = nullptr;
    QCheckBox *cbDefaultDatabase = nullptr;
    QCheckBox *cbStoreConnected = nullptr;
    QPlainTextEdit *meParams = nullptr;
    QPushButton *btEditParams = nullptr;
    QPushButton *btLoadDefaultParams = nullptr;
    QPushButton *btSaveDefaultParams = nullptr;
    QPushButton *btSaveDefaultSrvType = nullptr;
    QPushButton *btTest = nullptr;
    QPushButton *btOk = nullptr;
    QPushButton *btCancel = nullptr;

    std::unique_ptr<TStringList> m_params;
    TStrings *m_history = nullptr;
    bool m_showingParams = false;
};

// Edits the connection parameters in Params, the very list given: only OK
// writes the accepted lines into it (and returns true); Cancel and the code
// editor leave it untouched. The dialog lists the known parameters of a
// server type with a short description (double-click adds "NAME=" to the
// text); the first overload starts with the default server type.
//
// Buttons: btDefaultParams (shown when GetDefaultParams is set) replaces the
// text with the default parameters. btCodeEditor (shown when ShowCodeEditor
// is set) hands the current text to ShowCodeEditor, flagged modified when it
// differs from Params, and closes the dialog as cancelled: the edit goes on
// in the code editor, which writes the property itself, so Params stays
// as it was and the result is false. When ShowCodeEditor raises, the error
// is shown and the dialog stays open with its text.
bool ShowDatabaseParamsEditor(TStrings *Params, TOvShowCodeEditorEvent ShowCodeEditor,
                              TOvGetDefaultParamsEvent GetDefaultParams);
bool ShowDatabaseParamsEditor(TStrings *Params, TOvServerType ServerType,
                              TOvShowCodeEditorEvent ShowCodeEditor,
                              TOvGetDefaultParamsEvent GetDefaultParams);

// Edits the SQL of Query in a dialog captioned Name. OK writes the text into
// the query (SQL()->Assign) and returns true; Cancel returns false and leaves
// the query alone. The code-editor button (shown when ShowCodeEditor is set)
// follows the rule of the parameter editor: current text, modified flag,
// closed as cancelled, result false. A null Query raises.
bool ShowSQLEditor(const QString &Name, TOvQuery *Query, TOvShowCodeEditorEvent ShowCodeEditor);

// Lets the user choose a remote database for ServerType, starting from
// Value. SQLite: the open-file dialog. PostgreSQL: a dialog with server,
// port and database fields, filled from Value in any form the driver reads,
// which composes "host[:port]/dbname" ("dbname" alone without a server; a
// connection string stays one, with its other keywords kept). Returns the
// choice, or an empty string when there is none (cancelled).
QString InputRemoteDatabaseValue(TOvServerType ServerType, const QString &Value);

// The login dialog: asks for the user name (filled from LoginParams'
// "USER NAME") and password of Database. OK writes "USER NAME" and
// "PASSWORD" into LoginParams and returns true; Cancel returns false and
// leaves the list alone. Fits SetLoginDialogHook (OvDatabase.h).
bool LoginDialog(TOvDatabase *Database, TStrings *LoginParams);
