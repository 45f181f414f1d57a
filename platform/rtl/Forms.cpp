#include "Forms.h"
#include "UiServices.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>

TForm::TForm(QWidget *Owner)
    : QDialog(Owner)
{}

TForm::~TForm() = default;

bool TForm::SetModalResult(TModalResult Value)
{
    if (Value == mrNone) {
        m_modalResult = mrNone;
        return false;
    }
    // The close query sees the result asked for, and a refusal takes it back.
    m_modalResult = Value;
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    if (!canClose) {
        m_modalResult = mrNone;
        return false;
    }
    // Ends QDialog::exec (under a script it just records the result) or hides
    // a form shown without a modal loop.
    if (m_modalRunning || isVisible())
        QDialog::done(Value);
    return true;
}

TModalResult TForm::ShowModal()
{
    return uiServices().runModal(*this);
}

void TForm::bindModalResult(QAbstractButton *Button, TModalResult Result)
{
    connect(Button, &QAbstractButton::clicked, this, [this, Result] { SetModalResult(Result); });
}

// Qt's own code rejects with done(QDialog::Rejected), which is 0; here that is
// a cancel, as mrNone would mean "stay open".
void TForm::done(int Result)
{
    SetModalResult(Result == QDialog::Rejected ? mrCancel : Result);
}

void TForm::accept()
{
    SetModalResult(mrOk);
}

void TForm::reject()
{
    SetModalResult(mrCancel);
}

// The close box: a modal form closes with mrCancel, subject to the close query.
void TForm::closeEvent(QCloseEvent *Event)
{
    bool canClose;
    if (m_modalRunning) {
        canClose = m_modalResult != mrNone || SetModalResult(mrCancel);
    } else {
        canClose = true;
        if (OnCloseQuery)
            OnCloseQuery(this, canClose);
    }
    if (canClose)
        Event->accept();
    else
        Event->ignore();
}

void TForm::beginModal()
{
    m_modalResult = mrNone;
    m_modalRunning = true;
}

void TForm::endModal()
{
    m_modalRunning = false;
}

// --- TScreen

namespace {

TScreen theScreen;

Qt::CursorShape shapeOf(TCursor Cursor)
{
    switch (Cursor) {
    case crHourGlass:
        return Qt::WaitCursor;
    case crSQLWait:
        return Qt::BusyCursor;
    case crArrow:
    case crDefault:
        break;
    }
    return Qt::ArrowCursor;
}

} // namespace

TScreen *const Screen = &theScreen;

void TScreen::SetCursor(TCursor Value)
{
    if (Value == m_cursor)
        return;
    const bool haveGui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (m_overridden && haveGui) {
        QGuiApplication::restoreOverrideCursor();
        m_overridden = false;
    }
    if (Value != crDefault && haveGui) {
        QGuiApplication::setOverrideCursor(QCursor(shapeOf(Value)));
        m_overridden = true;
    }
    m_cursor = Value;
}

CursorGuard::CursorGuard(TCursor Cursor)
    : m_saved(Screen->Cursor())
{
    Screen->SetCursor(Cursor);
}

CursorGuard::~CursorGuard()
{
    Screen->SetCursor(m_saved);
}
