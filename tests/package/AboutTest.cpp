// The About dialog: its layout, the version of the package's own module,
// and the links, opened through the shell seam.
#include "OvAbout.h"
#include "OvRegEditors.h"
#include "ui_OvAbout.h"

#include "common/TestSupport.h"

#include "orvlib/OvCommon.h"

#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

void press(QWidget *Target, Qt::MouseButton Button)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(3, 3), Target->mapToGlobal(QPointF(3, 3)),
                      Button, Button, Qt::NoModifier);
    QCoreApplication::sendEvent(Target, &event);
}

TEST(About, LayoutAsDesigned)
{
    // The layout itself, as the form resource holds it.
    TForm layout;
    Ui::OvAboutDlg ui;
    ui.setupUi(&layout);
    TOvAboutDlg dlg;
    EXPECT_EQ(dlg.objectName(), "OvAboutDlg");
    EXPECT_EQ(dlg.windowTitle(), "About Orvanta");
    EXPECT_EQ(dlg.size(), QSize(321, 186));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "a dialog border: fixed size";

    struct Row
    {
        const char *name;
        QRect bounds;
        const char *text; // null: filled at creation
    };
    const Row rows[] = {
        {"imgLogo", {3, 6, 100, 30}, nullptr},
        {"btOk", {243, 6, 75, 25}, "OK"},
        {"lblLinks", {27, 51, 267, 13}, "For additial information visit the following links:"},
        {"lblHome", {120, 72, 80, 13}, "Orvanta Home"},
        {"lblSupport", {100, 93, 121, 13}, "Orvanta E:Mail Support"},
        {"lblOrder", {75, 114, 170, 13}, "Order Orvanta online NOW:"},
        {"lblOrderOrvantaStd", {9, 135, 131, 13}, "Orvanta Std (w/o source)"},
        {"lblOrderOrvantaPro", {180, 135, 131, 13}, "Orvanta Pro (with source)"},
        {"bvCopyright", {6, 159, 307, 10}, nullptr},
        {"lblCopyright", {22, 168, 273, 13}, nullptr},
    };
    for (const Row &row : rows) {
        auto *w = layout.findChild<QWidget *>(row.name);
        ASSERT_TRUE(w) << row.name;
        EXPECT_EQ(w->geometry(), row.bounds) << row.name;
        if (row.text) {
            const QString text = qobject_cast<QLabel *>(w) ? qobject_cast<QLabel *>(w)->text()
                                                           : qobject_cast<QPushButton *>(w)->text();
            EXPECT_EQ(text, QString::fromUtf8(row.text)) << row.name;
        }
    }
    // On the dialog, every label shows its whole text inside the client
    // area; a label that had to grow kept its centre where it could.
    for (auto *label : dlg.findChildren<QLabel *>()) {
        const std::string name = label->objectName().toStdString();
        EXPECT_GE(label->width(), label->sizeHint().width()) << name;
        EXPECT_GE(label->x(), 0) << name;
        EXPECT_LE(label->geometry().right(), 320) << name;
    }
    EXPECT_LE(dlg.lblOrderOrvantaStd->geometry().right(), dlg.lblOrderOrvantaPro->x())
        << "the order links do not overlap";
    EXPECT_NEAR(dlg.lblLinks->geometry().center().x(), QRect(27, 51, 267, 13).center().x(), 1);
    // The two auto-sized labels start where the layout puts them.
    EXPECT_EQ(dlg.lblProductName->pos(), QPoint(111, 6));
    EXPECT_EQ(dlg.lblVersion->pos(), QPoint(111, 27));
    EXPECT_TRUE(dlg.lblProductName->font().bold() && dlg.lblProductName->font().italic());
    EXPECT_TRUE(dlg.lblLinks->font().bold());
    EXPECT_TRUE(dlg.lblOrder->font().bold());
    for (QLabel *link :
         {dlg.lblHome, dlg.lblSupport, dlg.lblOrderOrvantaStd, dlg.lblOrderOrvantaPro}) {
        EXPECT_TRUE(link->font().underline()) << link->objectName().toStdString();
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_EQ(dlg.imgLogo->pixmap().size(), QSize(100, 30)) << "the logo";
    EXPECT_TRUE(dlg.btOk->isDefault());
    EXPECT_EQ(dlg.bvCopyright->frameShape(), QFrame::HLine);
    {
        // The bevel's line runs along the top of its box: its top rows are
        // drawn, the rest is the dialog's face.
        const QImage bevel = dlg.bvCopyright->grab().toImage();
        const auto rowIsFace = [&](int Y) {
            for (int x = 0; x < bevel.width(); ++x)
                if (bevel.pixel(x, Y) != bevel.pixel(0, bevel.height() - 1))
                    return false;
            return true;
        };
        EXPECT_FALSE(rowIsFace(0) && rowIsFace(1)) << "a line at the top";
        for (int y = 2; y < bevel.height(); ++y)
            EXPECT_TRUE(rowIsFace(y)) << "nothing below the line, row " << y;
    }
    EXPECT_FALSE(dlg.lblCopyright->text().isEmpty());

    dlg.grab().save(QCoreApplication::applicationDirPath() + "/about-dialog.png");
}

TEST(About, VersionOfThePackagesOwnModule)
{
    // The package's code is linked into this test program, version block included.
    const QString own = OvPackageFileName();
    EXPECT_EQ(own, QCoreApplication::applicationFilePath());
    TOvAboutDlg dlg;
    EXPECT_EQ(dlg.lblProductName->text(), "Orvanta Library");
    EXPECT_EQ(dlg.lblVersion->text(), "Version 6.5.3.0");
    EXPECT_EQ(AboutVerbCaption(), "Orvanta Library 6.5.3.0");

    // The runtime library carries no version block: the defaults stand, and
    // the caption keeps its blank.
    const QString runtime = GetModuleFileNameStr(reinterpret_cast<const void *>(&ReadFileVersInfo));
    ASSERT_NE(runtime, own);
    EXPECT_EQ(AboutVerbCaptionOf(runtime), "Orvanta ");
    TempFolder tmp;
    tmp.write("plain.txt", "no version here");
    EXPECT_EQ(AboutVerbCaptionOf(tmp.file("plain.txt")), "Orvanta ");
    EXPECT_EQ(AboutVerbCaptionOf(tmp.file("missing")), "Orvanta ");
}

TEST(About, LinksOpenWithTheLeftButtonOnly)
{
    ScriptedUi ui;
    TOvAboutDlg dlg;
    const auto answer = [&](int Result) {
        ui.onShellOpen([=](const QString &) { return Result; });
    };

    press(dlg.lblHome, Qt::RightButton);
    press(dlg.lblSupport, Qt::MiddleButton);
    press(dlg.lblOrderOrvantaStd, Qt::RightButton);
    EXPECT_TRUE(ui.shellOpened.empty()) << "right and middle clicks do nothing";

    answer(33);
    press(dlg.lblHome, Qt::LeftButton);
    answer(42);
    press(dlg.lblSupport, Qt::LeftButton);
    answer(33);
    press(dlg.lblOrderOrvantaStd, Qt::LeftButton);
    answer(33);
    press(dlg.lblOrderOrvantaPro, Qt::LeftButton);
    EXPECT_EQ(
        ui.shellOpened,
        std::vector<QString>({TOvAboutDlg::HomeAddress(), TOvAboutDlg::SupportAddress(),
                              TOvAboutDlg::OrderStdAddress(), TOvAboutDlg::OrderProAddress()}));
    EXPECT_TRUE(ui.messages.empty()) << "above 32 is success";
    EXPECT_TRUE(TOvAboutDlg::SupportAddress().startsWith("mailto:"));
    for (const QString &address : ui.shellOpened)
        EXPECT_TRUE(address.contains("example.com")) << address.toStdString();

    // The shared order handler: any sender but the edition without source
    // opens the page of the edition with source.
    answer(33);
    dlg.lblOrderMouseDown(dlg.lblHome, Qt::LeftButton, Qt::NoModifier, 0, 0);
    EXPECT_EQ(ui.shellOpened.back(), TOvAboutDlg::OrderProAddress());

    answer(32);
    ui.answer(mrOk);
    press(dlg.lblHome, Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u) << "32 is a failure: one error box";
    EXPECT_EQ(ui.messages[0].text,
              "Error opening following address: " + TOvAboutDlg::HomeAddress());
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(ui.messages[0].buttons, TMsgDlgButtons(mbOK));
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST(About, ShowAboutBoxRunsAndFreesTheDialog)
{
    ScriptedUi ui;
    QPointer<TForm> shown;
    ui.onModal([&](TForm &F) {
        shown = &F;
        EXPECT_TRUE(qobject_cast<TOvAboutDlg *>(&F));
        F.reject(); // Esc: the OK button is also the cancel button
        EXPECT_EQ(F.ModalResult(), mrOk);
    });
    ShowAboutBox();
    EXPECT_EQ(ui.modalForms, std::vector<QString>({"TOvAboutDlg"}));
    EXPECT_TRUE(shown.isNull()) << "freed after the modal loop";

    // The dialog of the failing loop is watched from inside that loop.
    bool seen = false;
    ui.onModal([&](TForm &F) {
        shown = &F;
        seen = true;
        throw std::runtime_error("boom");
    });
    EXPECT_THROW(ShowAboutBox(), std::runtime_error);
    EXPECT_TRUE(seen) << "the second dialog was shown";
    EXPECT_TRUE(shown.isNull()) << "freed when an exception leaves the modal loop";
}

// The desktop's opener decides: a link that no program can open shows the
// error box; an opener that is still busy after the time limit has found
// its program.
TEST(About, TheOpenersOwnResultDecides)
{
    TempFolder tmp;
    const auto opener = [&](const char *Name, const QByteArray &Body) {
        tmp.write(Name, "#!/bin/sh\n" + Body + "\n");
        QFile::setPermissions(tmp.file(Name), QFile::ReadOwner | QFile::ExeOwner);
        return tmp.file(Name);
    };
    QtUiServices desktop;
    desktop.OpenerTimeLimitMs = 2000;
    desktop.UrlOpener = opener("fails", "echo \"$1\" > \"$0.arg\"; exit 4");
    ScriptedUi ui;
    TOvAboutDlg dlg;
    ui.onShellOpen([&](const QString &Target) { return desktop.shellOpen(Target); });
    ui.answer(mrOk);
    press(dlg.lblSupport, Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u) << "a failing opener shows the error box";
    EXPECT_EQ(ui.messages[0].text,
              "Error opening following address: " + TOvAboutDlg::SupportAddress());
    EXPECT_EQ(tmp.read("fails.arg").trimmed(), TOvAboutDlg::SupportAddress().toUtf8())
        << "the opener was given the address";

    desktop.UrlOpener = opener("opens", "exit 0");
    EXPECT_GT(desktop.shellOpen(TOvAboutDlg::HomeAddress()), 32);
    desktop.UrlOpener = opener("missing", "exit 2");
    EXPECT_LE(desktop.shellOpen(TOvAboutDlg::HomeAddress()), 32);
    desktop.UrlOpener = tmp.file("no-such-opener");
    EXPECT_LE(desktop.shellOpen(TOvAboutDlg::HomeAddress()), 32) << "no opener to start";
    desktop.OpenerTimeLimitMs = 100;
    desktop.UrlOpener = opener("busy", "sleep 2");
    EXPECT_GT(desktop.shellOpen(TOvAboutDlg::HomeAddress()), 32) << "still busy: found one";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

} // namespace
