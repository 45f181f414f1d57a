#pragma once

#include "Dialogs.h"

#include <QDialog>

#include <functional>

// Widget with its objectName set, so test scripts find it by name.
template<class W>
W *named(W *Widget, const char *Name)
{
    Widget->setObjectName(QLatin1String(Name));
    return Widget;
}

// A form of the class libraries on a QDialog: a modal result, a close query
// that may refuse to close, and ShowModal through the platform's UI services,
// so a test can drive the form where a person would.
class TForm : public QDialog
{
    Q_OBJECT

public:
    explicit TForm(QWidget *Owner = nullptr);
    ~TForm() override;

    TModalResult ModalResult() const { return m_modalResult; }
    // Asks the form to close with Value: the close query runs, and a refusal
    // resets the modal result to mrNone and keeps the form open. mrNone itself
    // only clears the result. Returns whether the form closed.
    bool SetModalResult(TModalResult Value);
    // Runs the modal loop and returns the modal result that ended it.
    TModalResult ShowModal();
    bool IsModalRunning() const { return m_modalRunning; }

    // Close query: set CanClose to false to keep the form open.
    std::function<void(QObject *Sender, bool &CanClose)> OnCloseQuery;

    // Makes Button end the modal loop with Result, as a button's ModalResult does.
    void bindModalResult(class QAbstractButton *Button, TModalResult Result);

    void done(int Result) override;
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent *Event) override;

private:
    friend class QtUiServices;
    friend class ScriptedUi;
    void beginModal();
    void endModal();

    TModalResult m_modalResult = mrNone;
    bool m_modalRunning = false;
};

enum class TCursor { crDefault, crHourGlass, crSQLWait, crArrow };
using enum TCursor;

// The screen's cursor: setting it changes the application's cursor for as long
// as it is not crDefault.
class TScreen
{
public:
    TCursor Cursor() const { return m_cursor; }
    void SetCursor(TCursor Value);

private:
    TCursor m_cursor = crDefault;
    bool m_overridden = false; // whether this screen pushed an override cursor
};

extern TScreen *const Screen;

// Sets the screen cursor for the life of the guard and restores the previous
// one on the way out, also when an exception passes.
class CursorGuard
{
public:
    explicit CursorGuard(TCursor Cursor);
    ~CursorGuard();
    CursorGuard(const CursorGuard &) = delete;
    CursorGuard &operator=(const CursorGuard &) = delete;

private:
    TCursor m_saved;
};
