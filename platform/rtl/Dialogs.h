#pragma once

#include <QString>
#include <QStringList>

class TForm;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
using enum TMsgDlgType;

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
    mbClose = 1u << 11,
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

// Modal results, as forms and message boxes return them.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;
constexpr TModalResult mrClose = 11;

// Shows a modal message box and returns the modal result of the button pressed.
TModalResult MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx = 0);
void ShowMessage(const QString &Msg);

// The open-file dialog: Execute shows it and reports whether a file was chosen.
class TOpenDialog
{
public:
    QString Title;
    // "Description|pattern;pattern|Description|pattern", as the class libraries write filters.
    QString Filter;
    QString DefaultExt;
    QString InitialDir;
    QString FileName;

    bool Execute();
};

// The save-file dialog: like the open-file dialog, but the chosen file need
// not exist yet (the person is asked before an existing one is replaced).
class TSaveDialog : public TOpenDialog
{
public:
    bool Execute();
};
