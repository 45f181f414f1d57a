#pragma once

#include "Dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <variant>
#include <vector>

class QAbstractButton;
class QMessageBox;
class TForm;

// What a message box was asked to show.
struct MessageRequest
{
    QString text;
    TMsgDlgType type = mtInformation;
    TMsgDlgButtons buttons = mbOK;
};

// The seam between the platform and a person: every modal interaction goes
// through the installed services. The GUI installs nothing and gets the Qt
// implementation; a test installs a ScriptedUi and plays the person's part.
class UiServices
{
public:
    virtual ~UiServices();

    virtual TModalResult messageDlg(const MessageRequest &Request) = 0;
    // Runs Form's modal loop until it closes; returns its modal result.
    virtual TModalResult runModal(TForm &Form) = 0;
    virtual bool openFile(TOpenDialog &Dialog) = 0;
    // The save-file dialog. A scripted person answers it as an open-file
    // dialog (onOpenFile).
    virtual bool saveFile(TOpenDialog &Dialog) { return openFile(Dialog); }
    // Opens a document or address with the desktop; a result above 32 is success.
    virtual int shellOpen(const QString &Target) = 0;
    virtual bool isAltKeyDown() = 0;
};

// The services in force. Never null.
UiServices &uiServices();
// Installs Services (not owned); null restores the Qt implementation.
void setUiServices(UiServices *Services);

// The Qt implementation: QMessageBox, QDialog::exec, QFileDialog,
// QDesktopServices and the keyboard modifiers.
class QtUiServices : public UiServices
{
public:
    TModalResult messageDlg(const MessageRequest &Request) override;
    // Makes Box the box messageDlg shows for Request (icon, caption, text,
    // buttons); Results, when given, receives the answer of each button.
    static void setUpMessageBox(QMessageBox &Box, const MessageRequest &Request,
                                std::map<QAbstractButton *, TModalResult> *Results = nullptr);
    TModalResult runModal(TForm &Form) override;
    bool openFile(TOpenDialog &Dialog) override;
    bool saveFile(TOpenDialog &Dialog) override;
    // Runs the desktop's opener (UrlOpener) on Target and answers from its
    // own result: its exit status 0 is success (42); an opener that cannot
    // start gives 2 (not found), one that fails 31 (no program for it). An
    // opener still running after OpenerTimeLimitMs has found a program and
    // waits for it: that is success, and it runs on unwatched.
    int shellOpen(const QString &Target) override;
    bool isAltKeyDown() override;

    QString UrlOpener = QStringLiteral("xdg-open");
    int OpenerTimeLimitMs = 3000;

    // "Text files|*.txt;*.log|All files|*.*" as QFileDialog name filters:
    // "Text files (*.txt *.log)", "All files (*)". The file dialog matches
    // them ignoring letter case, so "*.INI" also lists "params.ini".
    static QStringList nameFilters(const QString &Filter);
};

// A scripted person, for tests. Steps are consumed in order; an interaction
// that does not match the next step, or that comes when no step is left,
// raises ScriptError, so a test never waits for a human. Installs itself for
// its lifetime.
class ScriptedUi : public UiServices
{
public:
    using MessageStep = std::function<TModalResult(const MessageRequest &)>;
    // Acts on the shown form; it must close it (SetModalResult) before returning.
    using ModalStep = std::function<void(TForm &)>;
    using OpenFileStep = std::function<bool(TOpenDialog &)>;
    using ShellStep = std::function<int(const QString &)>;

    class ScriptError : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    ScriptedUi();
    ~ScriptedUi() override;

    ScriptedUi &onMessage(MessageStep Step);
    // Answers the next message box with Result.
    ScriptedUi &answer(TModalResult Result);
    ScriptedUi &onModal(ModalStep Step);
    ScriptedUi &onOpenFile(OpenFileStep Step);
    ScriptedUi &onShellOpen(ShellStep Step);

    bool altKeyDown = false;
    // Every message box shown, in order.
    std::vector<MessageRequest> messages;
    // Class names of the forms shown modally, in order.
    std::vector<QString> modalForms;
    std::vector<QString> shellOpened;
    // Every open-file dialog as it was shown (before the step acted on it), in order.
    std::vector<TOpenDialog> openDialogs;

    std::size_t pendingSteps() const { return m_steps.size(); }

    TModalResult messageDlg(const MessageRequest &Request) override;
    TModalResult runModal(TForm &Form) override;
    bool openFile(TOpenDialog &Dialog) override;
    int shellOpen(const QString &Target) override;
    bool isAltKeyDown() override { return altKeyDown; }

private:
    using Step = std::variant<MessageStep, ModalStep, OpenFileStep, ShellStep>;
    template<class T>
    T take(const char *What, const QString &Detail);

    std::deque<Step> m_steps;
    UiServices *m_previous = nullptr;
};
