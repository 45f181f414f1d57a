#include "UiServices.h"
#include "Forms.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include <map>
#include <memory>

UiServices::~UiServices() = default;

namespace {

QtUiServices &qtServices()
{
    static QtUiServices services;
    return services;
}

UiServices *installed = nullptr;

// Ends a form's modal state also when an exception leaves the loop.
class ModalScope
{
public:
    explicit ModalScope(TForm &Form, void (TForm::*End)())
        : m_form(Form)
        , m_end(End)
    {}
    ~ModalScope() { (m_form.*m_end)(); }
    ModalScope(const ModalScope &) = delete;
    ModalScope &operator=(const ModalScope &) = delete;

private:
    TForm &m_form;
    void (TForm::*m_end)();
};

struct ButtonInfo
{
    TMsgDlgBtn button;
    TModalResult result;
    QMessageBox::StandardButton standard; // NoButton: a button of our own
    const char *caption;
};

// In the order the buttons appear, with the modal result each one returns.
constexpr ButtonInfo buttonTable[] = {
    {mbYes, mrYes, QMessageBox::Yes, nullptr},
    {mbNo, mrNo, QMessageBox::No, nullptr},
    {mbOK, mrOk, QMessageBox::Ok, nullptr},
    {mbCancel, mrCancel, QMessageBox::Cancel, nullptr},
    {mbAbort, mrAbort, QMessageBox::Abort, nullptr},
    {mbRetry, mrRetry, QMessageBox::Retry, nullptr},
    {mbIgnore, mrIgnore, QMessageBox::Ignore, nullptr},
    {mbAll, mrAll, QMessageBox::NoButton, "&All"},
    {mbNoToAll, mrNoToAll, QMessageBox::NoToAll, nullptr},
    {mbYesToAll, mrYesToAll, QMessageBox::YesToAll, nullptr},
    {mbHelp, mrNone, QMessageBox::Help, nullptr},
    {mbClose, mrClose, QMessageBox::Close, nullptr},
};

QString captionOf(TMsgDlgType Type)
{
    switch (Type) {
    case mtWarning:
        return QObject::tr("Warning");
    case mtError:
        return QObject::tr("Error");
    case mtInformation:
        return QObject::tr("Information");
    case mtConfirmation:
        return QObject::tr("Confirm");
    case mtCustom:
        break;
    }
    return QCoreApplication::applicationName();
}

} // namespace

UiServices &uiServices()
{
    return installed ? *installed : qtServices();
}

void setUiServices(UiServices *Services)
{
    installed = Services;
}

// --- QtUiServices

void QtUiServices::setUpMessageBox(QMessageBox &Box, const MessageRequest &Request,
                                   std::map<QAbstractButton *, TModalResult> *Results)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (Request.type) {
    case mtWarning:
        icon = QMessageBox::Warning;
        break;
    case mtError:
        icon = QMessageBox::Critical;
        break;
    case mtInformation:
        icon = QMessageBox::Information;
        break;
    case mtConfirmation:
        icon = QMessageBox::Question;
        break;
    case mtCustom:
        break;
    }
    Box.setIcon(icon);
    Box.setWindowTitle(captionOf(Request.type));
    Box.setText(Request.text);
    std::map<QAbstractButton *, TModalResult> results;
    QAbstractButton *escape = nullptr;
    for (const ButtonInfo &info : buttonTable) {
        if (!(Request.buttons & info.button))
            continue;
        QAbstractButton *button
            = info.standard != QMessageBox::NoButton
                  ? Box.addButton(info.standard)
                  : Box.addButton(QObject::tr(info.caption), QMessageBox::AcceptRole);
        results[button] = info.result;
        if (info.result == mrCancel || (info.result == mrNo && !escape))
            escape = button;
    }
    if (results.empty())
        results[Box.addButton(QMessageBox::Ok)] = mrOk;
    if (escape)
        Box.setEscapeButton(escape);
    if (Results)
        *Results = std::move(results);
}

TModalResult QtUiServices::messageDlg(const MessageRequest &Request)
{
    QMessageBox box(QApplication::activeWindow());
    std::map<QAbstractButton *, TModalResult> results;
    setUpMessageBox(box, Request, &results);
    box.exec();
    const auto it = results.find(box.clickedButton());
    return it != results.end() ? it->second : mrCancel;
}

TModalResult QtUiServices::runModal(TForm &Form)
{
    Form.beginModal();
    ModalScope scope(Form, &TForm::endModal);
    Form.exec();
    // A form hidden from outside the modal result counts as cancelled.
    return Form.ModalResult() != mrNone ? Form.ModalResult() : mrCancel;
}

QStringList QtUiServices::nameFilters(const QString &Filter)
{
    TOpenDialog parsed;
    parsed.Filter = Filter;
    QStringList result;
    for (const auto &[text, patterns] : parsed.FilterEntries()) {
        QStringList shown;
        for (const QString &pattern : patterns)
            shown.append(pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
        // QFileDialog reads the patterns from the last parentheses, so a
        // description that already shows its patterns ("SQL files (*.sql)")
        // loses them and gets the real ones back.
        QString description = text;
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0 && description.endsWith(u')'))
            description = description.left(open).trimmed();
        result.append(QStringLiteral("%1 (%2)").arg(description, shown.join(u' ')));
    }
    return result;
}

bool QtUiServices::openFile(TOpenDialog &Dialog)
{
    QString dir = Dialog.InitialDir;
    if (dir.isEmpty() && !Dialog.FileName.isEmpty())
        dir = QFileInfo(Dialog.FileName).absolutePath();
    QFileDialog dialog(QApplication::activeWindow(), Dialog.Title, dir);
    // The widget dialog, so the options below are honoured the same way on
    // every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode((Dialog.Options & ofFileMustExist) ? QFileDialog::ExistingFile
                                                          : QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(Dialog.Options & ofEnableSizing);
    if (Dialog.Options & ofForceShowHidden)
        dialog.setFilter(dialog.filter() | QDir::Hidden);
    const QStringList filters = nameFilters(Dialog.Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = Dialog.FilterIndex >= 1 && Dialog.FilterIndex <= filters.size()
                              ? Dialog.FilterIndex - 1
                              : 0;
        dialog.selectNameFilter(filters.at(index));
    }
    if (!Dialog.DefaultExt.isEmpty())
        dialog.setDefaultSuffix(Dialog.DefaultExt);
    if (!Dialog.FileName.isEmpty())
        dialog.selectFile(Dialog.FileName);
    TOpenDialog chosen = Dialog;
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        chosen.FileName = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
        const QString problem = chosen.CheckFileName();
        if (problem.isEmpty())
            break;
        // Refused as the person chose it: say why and let them choose again.
        messageDlg(MessageRequest{problem, mtWarning, mbOK});
    }
    Dialog.FileName = chosen.FileName;
    const qsizetype selected = filters.indexOf(dialog.selectedNameFilter());
    if (selected >= 0)
        Dialog.FilterIndex = static_cast<int>(selected) + 1;
    return true;
}

bool QtUiServices::saveFile(TOpenDialog &Dialog)
{
    QString dir = Dialog.InitialDir;
    if (dir.isEmpty() && !Dialog.FileName.isEmpty())
        dir = QFileInfo(Dialog.FileName).absolutePath();
    QFileDialog dialog(QApplication::activeWindow(), Dialog.Title, dir);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!Dialog.Filter.isEmpty())
        dialog.setNameFilters(nameFilters(Dialog.Filter));
    if (!Dialog.DefaultExt.isEmpty())
        dialog.setDefaultSuffix(Dialog.DefaultExt);
    if (!Dialog.FileName.isEmpty())
        dialog.selectFile(Dialog.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    Dialog.FileName = dialog.selectedFiles().first();
    return true;
}

int QtUiServices::shellOpen(const QString &Target)
{
    // The shell's convention: above 32 is success, 2 is "file not found",
    // 31 "no program is associated".
    constexpr int Opened = 42, NotFound = 2, NoAssociation = 31;
    const QUrl url = QUrl::fromUserInput(Target, QString(), QUrl::AssumeLocalFile);
    if (!url.isValid())
        return NotFound;
    auto opener = std::make_unique<QProcess>();
    opener->setProgram(UrlOpener);
    opener->setArguments({url.toString(QUrl::FullyEncoded)});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    opener->start();
    if (!opener->waitForStarted(OpenerTimeLimitMs))
        return NotFound;
    if (!opener->waitForFinished(OpenerTimeLimitMs)) {
        // Still busy: it found a program and waits for it. It goes its way,
        // and is freed when it ends (or with the application).
        QProcess *running = opener.release();
        running->setParent(QCoreApplication::instance());
        QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
        return Opened;
    }
    if (opener->exitStatus() != QProcess::NormalExit)
        return NoAssociation;
    switch (opener->exitCode()) {
    case 0:
        return Opened;
    case 2: // the opener's "file does not exist"
        return NotFound;
    default:
        return NoAssociation;
    }
}

bool QtUiServices::isAltKeyDown()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier);
}

// --- ScriptedUi

namespace {

const char *stepKind(std::size_t Index)
{
    static const char *const kinds[]
        = {"a message box", "a modal form", "an open-file dialog", "a shell open"};
    return Index < 4 ? kinds[Index] : "?";
}

TMsgDlgBtn buttonFor(TModalResult Result)
{
    for (const ButtonInfo &info : buttonTable)
        if (info.result == Result && info.result != mrNone)
            return info.button;
    return TMsgDlgBtn(0);
}

} // namespace

ScriptedUi::ScriptedUi()
    : m_previous(installed)
{
    setUiServices(this);
}

ScriptedUi::~ScriptedUi()
{
    setUiServices(m_previous);
}

ScriptedUi &ScriptedUi::onMessage(MessageStep Step)
{
    m_steps.emplace_back(std::in_place_type<MessageStep>, std::move(Step));
    return *this;
}

ScriptedUi &ScriptedUi::answer(TModalResult Result)
{
    return onMessage([Result](const MessageRequest &) { return Result; });
}

ScriptedUi &ScriptedUi::onModal(ModalStep Step)
{
    m_steps.emplace_back(std::in_place_type<ModalStep>, std::move(Step));
    return *this;
}

ScriptedUi &ScriptedUi::onOpenFile(OpenFileStep Step)
{
    m_steps.emplace_back(std::in_place_type<OpenFileStep>, std::move(Step));
    return *this;
}

ScriptedUi &ScriptedUi::onShellOpen(ShellStep Step)
{
    m_steps.emplace_back(std::in_place_type<ShellStep>, std::move(Step));
    return *this;
}

template<class T>
T ScriptedUi::take(const char *What, const QString &Detail)
{
    if (m_steps.empty())
        throw ScriptError(QStringLiteral("Unexpected %1 (\"%2\"): the script has no step left")
                              .arg(QLatin1String(What), Detail)
                              .toStdString());
    if (!std::holds_alternative<T>(m_steps.front()))
        throw ScriptError(
            QStringLiteral("Unexpected %1 (\"%2\"): the script expected %3")
                .arg(QLatin1String(What), Detail, QLatin1String(stepKind(m_steps.front().index())))
                .toStdString());
    T step = std::get<T>(std::move(m_steps.front()));
    m_steps.pop_front();
    return step;
}

TModalResult ScriptedUi::messageDlg(const MessageRequest &Request)
{
    messages.push_back(Request);
    const TModalResult result = take<MessageStep>(stepKind(0), Request.text)(Request);
    // A person can only press a button the box shows.
    if (!(Request.buttons & buttonFor(result)))
        throw ScriptError(QStringLiteral("The script answered \"%1\" with modal result %2, "
                                         "which no button of the message box gives")
                              .arg(Request.text)
                              .arg(result)
                              .toStdString());
    return result;
}

TModalResult ScriptedUi::runModal(TForm &Form)
{
    const QString name = QString::fromLatin1(Form.metaObject()->className());
    modalForms.push_back(name);
    ModalStep step = take<ModalStep>(stepKind(1), name);
    Form.beginModal();
    ModalScope scope(Form, &TForm::endModal);
    step(Form);
    if (Form.ModalResult() == mrNone)
        throw ScriptError(
            QStringLiteral("The script step for %1 left the form open").arg(name).toStdString());
    return Form.ModalResult();
}

bool ScriptedUi::openFile(TOpenDialog &Dialog)
{
    openDialogs.push_back(Dialog);
    if (!take<OpenFileStep>(stepKind(2), Dialog.Title)(Dialog))
        return false;
    // A person can only confirm a file the dialog accepts.
    const QString problem = Dialog.CheckFileName();
    if (!problem.isEmpty())
        throw ScriptError(QStringLiteral("The script confirmed a file the open-file dialog "
                                         "refuses: %1")
                              .arg(problem)
                              .toStdString());
    return true;
}

int ScriptedUi::shellOpen(const QString &Target)
{
    shellOpened.push_back(Target);
    return take<ShellStep>(stepKind(3), Target)(Target);
}
