#pragma once

#include "rtl/Forms.h"

#include <QString>

#include <memory>

class QFrame;
class QLabel;
class QPushButton;

namespace Ui {
class OvAboutDlg;
}

// Unit initialization and finalization of OvAbout; the unit does no work at either.
void OvAboutInitialization();
void OvAboutFinalization();

// The file of this design-time package's own module (not the runtime
// library's): where its version information is read from.
QString OvPackageFileName();

// The About dialog: product name and version from the package's own version
// information, and links to the home page, the support mailbox and the two
// order pages, opened with the desktop's shell open.
class TOvAboutDlg : public TForm
{
    Q_OBJECT

public:
    explicit TOvAboutDlg(QWidget *AOwner = nullptr);
    ~TOvAboutDlg() override;

    // Fills the product name, version and copyright labels.
    void FormCreate(QObject *Sender);
    // The link labels' mouse handlers: a left press opens the label's address;
    // a failed open is reported in one error box and the dialog stays open.
    void lblHomeMouseDown(QObject *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                          int X, int Y);
    void lblSupportMouseDown(QObject *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                             int X, int Y);
    // Shared by both order labels: the edition without source opens its own
    // page, any other sender the page of the edition with source.
    void lblOrderMouseDown(QObject *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                           int X, int Y);

    // The addresses the links open.
    static QString HomeAddress();
    static QString SupportAddress();
    static QString OrderStdAddress();
    static QString OrderProAddress();

    // Controls, named as in the layout.
    QLabel *imgLogo;
    QLabel *lblProductName;
    QPushButton *btOk;
    QLabel *lblVersion;
    QLabel *lblLinks;
    QLabel *lblHome;
    QLabel *lblSupport;
    QLabel *lblOrder;
    QLabel *lblOrderOrvantaStd;
    QLabel *lblOrderOrvantaPro;
    QFrame *bvCopyright;
    QLabel *lblCopyright;

    // Esc ends the dialog as its only button does: with OK.
    void reject() override;

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void fitLabels();
    void openAddress(Qt::MouseButton Button, const QString &Address);

    std::unique_ptr<Ui::OvAboutDlg> m_ui;
};

// Shows the About dialog modally and frees it afterwards, also when an
// exception passes.
void ShowAboutBox();
