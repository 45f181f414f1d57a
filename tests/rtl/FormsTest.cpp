#include "rtl/Forms.h"
#include "QtPrinters.h"
#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

class TEditorForm : public TForm
{
    Q_OBJECT
public:
    explicit TEditorForm(QWidget *Owner = nullptr)
        : TForm(Owner)
        , btOk(new QPushButton("OK", this))
    {
        bindModalResult(btOk, mrOk);
    }
    QPushButton *btOk;
};

class TOtherForm : public TForm
{
    Q_OBJECT
};

TEST(Rtl, checkedCastRaises)
{
    TEditorForm form;
    QObject *obj = &form;
    EXPECT_EQ(As<TForm>(obj), &form);
    EXPECT_EQ(As<TEditorForm>(static_cast<QObject *>(nullptr)), nullptr) << "nil casts to nil";
    EXPECT_TRUE(Is<TForm>(obj));
    EXPECT_FALSE(Is<TOtherForm>(obj));
    try {
        As<TOtherForm>(obj);
        FAIL() << "a wrong class must raise";
    } catch (const EInvalidCast &e) {
        EXPECT_EQ(e.Message(), "Invalid class typecast: TEditorForm is not a TOtherForm");
    }
}

TEST(ScriptedUi, drivesAFormWhoseCloseQueryRefusesOnce)
{
    ScriptedUi ui;
    TEditorForm form;
    int queries = 0;
    form.OnCloseQuery = [&](QObject *Sender, bool &CanClose) {
        EXPECT_EQ(Sender, &form);
        EXPECT_EQ(form.ModalResult(), mrOk) << "the close query sees the result asked for";
        CanClose = ++queries > 1;
    };
    ui.onModal([&](TForm &f) {
        EXPECT_TRUE(f.IsModalRunning());
        f.findChild<QPushButton *>()->click();
        EXPECT_EQ(f.ModalResult(), mrNone) << "first close refused by the close query";
        EXPECT_FALSE(f.SetModalResult(mrNone));
        form.btOk->click();
    });
    ui.answer(mrYes);

    EXPECT_EQ(form.ShowModal(), mrOk) << "second click closes with the button's result";
    EXPECT_EQ(queries, 2);
    EXPECT_FALSE(form.IsModalRunning());
    EXPECT_EQ(MessageDlg("Save?", mtConfirmation, mbYesNoCancel), mrYes);
    EXPECT_EQ(ui.messages.at(0).text, "Save?");
    EXPECT_EQ(ui.modalForms, std::vector<QString>{"TEditorForm"});
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST(ScriptedUi, mismatchesRaise)
{
    ScriptedUi ui;
    TEditorForm form;
    form.OnCloseQuery = [](QObject *, bool &CanClose) {
        CanClose = false;
    };

    ui.onModal([](TForm &f) { f.reject(); });
    try {
        form.ShowModal();
        FAIL() << "a refused close must not pass as closed";
    } catch (const ScriptedUi::ScriptError &e) {
        EXPECT_NE(std::string(e.what()).find("left the form open"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(form.IsModalRunning()) << "modal state ends also on an exception";

    EXPECT_THROW(MessageDlg("unscripted", mtError, mbOK), ScriptedUi::ScriptError);
    ui.onShellOpen([](const QString &) { return 33; });
    EXPECT_THROW(MessageDlg("wrong kind", mtError, mbOK), ScriptedUi::ScriptError)
        << "a message box where the script expects a shell open";
    EXPECT_EQ(uiServices().shellOpen("https://example.org"), 33);
    EXPECT_EQ(ui.shellOpened, std::vector<QString>{"https://example.org"});
    ui.answer(mrYes);
    EXPECT_THROW(MessageDlg("only OK", mtInformation, mbOK), ScriptedUi::ScriptError)
        << "an answer no button gives";

    TOpenDialog dialog;
    dialog.Title = "Open";
    ui.onOpenFile([](TOpenDialog &d) {
        d.FileName = "/tmp/params.txt";
        return true;
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, "/tmp/params.txt");
}

TEST(ScriptedUi, installsAndRestores)
{
    UiServices *qt = &uiServices();
    {
        ScriptedUi outer;
        EXPECT_EQ(&uiServices(), &outer);
        {
            ScriptedUi inner;
            inner.altKeyDown = true;
            EXPECT_TRUE(uiServices().isAltKeyDown());
        }
        EXPECT_EQ(&uiServices(), &outer);
    }
    EXPECT_EQ(&uiServices(), qt);
}

TEST(Screen, cursorGuardRestoresOnExceptions)
{
    ASSERT_EQ(Screen->Cursor(), crDefault);
    try {
        CursorGuard busy(crHourGlass);
        EXPECT_EQ(Screen->Cursor(), crHourGlass);
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            CursorGuard sql(crSQLWait);
            EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
        }
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        throw std::runtime_error("passing through");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "no override cursor left behind";
}

// The Qt implementation runs a real modal loop; a queued click plays the person.
TEST(QtUiServices, execRespectsTheCloseQuery)
{
    TEditorForm form;
    int queries = 0;
    form.OnCloseQuery = [&](QObject *, bool &CanClose) {
        CanClose = ++queries > 1;
    };
    QTimer::singleShot(0, &form, [&] {
        form.btOk->click();
        EXPECT_TRUE(form.isVisible()) << "refused: still open";
        form.close();
    });
    EXPECT_EQ(form.ShowModal(), mrCancel) << "the close box cancels";
    EXPECT_EQ(queries, 2);
    EXPECT_FALSE(form.isVisible());
}

TEST(QtUiServices, openDialogFilters)
{
    EXPECT_EQ(QtUiServices::nameFilters("SQL files (*.sql)|*.sql|Text|*.txt; *.log|All files|*.*"),
              (QStringList{"SQL files (*.sql)", "Text (*.txt *.log)", "All files (*)"}));
    EXPECT_EQ(QtUiServices::nameFilters("dangling"), QStringList{})
        << "a description without patterns";
}

#include "FormsTest.moc"
