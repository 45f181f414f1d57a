#pragma once

#include <QList>
#include <QPair>
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

// Options of the open-file dialog. The dialog checks them before it closes:
// a person cannot confirm a file that breaks them.
enum TOpenOption : unsigned {
    ofHideReadOnly = 1u << 0,    // no "open read-only" choice
    ofPathMustExist = 1u << 1,   // the folder of the chosen file must exist
    ofFileMustExist = 1u << 2,   // the chosen file must exist (and be no folder)
    ofEnableSizing = 1u << 3,    // the dialog can be resized
    ofForceShowHidden = 1u << 4, // hidden files are listed too
};
using TOpenOptions = unsigned;
// What a new dialog starts with.
constexpr TOpenOptions DefaultOpenOptions = ofHideReadOnly | ofEnableSizing;

// The open-file dialog: Execute shows it and reports whether a file was chosen.
// On confirmation FileName holds the chosen file as an absolute path and
// FilterIndex the filter in force when the person confirmed.
class TOpenDialog
{
public:
    QString Title;
    // "Description|pattern;pattern|Description|pattern", as the class libraries write filters.
    QString Filter;
    // The filter selected first, counted from 1; out of range selects the first.
    int FilterIndex = 1;
    QString DefaultExt;
    QString InitialDir;
    QString FileName;
    TOpenOptions Options = DefaultOpenOptions;

    bool Execute();

    // The filter's entries as description and patterns ("*.ini", "*.INI"), in order.
    QList<QPair<QString, QStringList>> FilterEntries() const;
    // Why FileName breaks Options ("File not found: ..."), or empty when it does not.
    QString CheckFileName() const;
};

// The save-file dialog: like the open-file dialog, but the chosen file need
// not exist yet (the person is asked before an existing one is replaced).
class TSaveDialog : public TOpenDialog
{
public:
    bool Execute();
};
