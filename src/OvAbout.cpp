#include "OvAbout.h"
#include "ui_OvAbout.h"

#include "orvlib/OvCommon.h"

#include "rtl/Dialogs.h"
#include "rtl/UiServices.h"

#include <QMouseEvent>

void OvAboutInitialization() {}
void OvAboutFinalization() {}

QString OvPackageFileName()
{
    // Any address inside this module names it.
    return GetModuleFileNameStr(reinterpret_cast<const void *>(&OvPackageFileName));
}

TOvAboutDlg::TOvAboutDlg(QWidget *AOwner)
    : TForm(AOwner)
    , m_ui(std::make_unique<Ui::OvAboutDlg>())
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("OvAboutDlg"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint
                   | Qt::WindowTitleHint);
    imgLogo = m_ui->imgLogo;
    lblProductName = m_ui->lblProductName;
    btOk = m_ui->btOk;
    lblVersion = m_ui->lblVersion;
    lblLinks = m_ui->lblLinks;
    lblHome = m_ui->lblHome;
    lblSupport = m_ui->lblSupport;
    lblOrder = m_ui->lblOrder;
    lblOrderOrvantaStd = m_ui->lblOrderOrvantaStd;
    lblOrderOrvantaPro = m_ui->lblOrderOrvantaPro;
    bvCopyright = m_ui->bvCopyright;
    lblCopyright = m_ui->lblCopyright;

    // A bevel of the top line only: the line runs along the top of its box,
    // where a plain horizontal line would cross its middle.
    bvCopyright->setFrameRect(QRect(0, 0, bvCopyright->width(), 2));
    bindModalResult(btOk, mrOk);
    for (QLabel *link : {lblHome, lblSupport, lblOrderOrvantaStd, lblOrderOrvantaPro})
        link->installEventFilter(this);
    FormCreate(this);
    fitLabels();
}

TOvAboutDlg::~TOvAboutDlg() = default;

QString TOvAboutDlg::HomeAddress()
{
    return QStringLiteral("https://www.example.com/orvanta/");
}

QString TOvAboutDlg::SupportAddress()
{
    return QStringLiteral("mailto:support@example.com");
}

QString TOvAboutDlg::OrderStdAddress()
{
    return QStringLiteral("https://shop.example.com/order/orvanta-std");
}

QString TOvAboutDlg::OrderProAddress()
{
    return QStringLiteral("https://shop.example.com/order/orvanta-pro");
}

void TOvAboutDlg::FormCreate(QObject *Sender)
{
    Q_UNUSED(Sender);
    QString productName = QStringLiteral("Orvanta");
    QString version;
    ReadFileVersInfo(OvPackageFileName(), productName, version);
    lblCopyright->setText(QStringLiteral("Copyright \u00A9 1999-2026 Orvanta Software"));
    lblProductName->setText(productName);
    // The version is shown as given; it is never scanned for format markers.
    lblVersion->setText(QStringLiteral("Version ") + version);
    // The labels size to their text, as the layout's auto-sized labels do.
    lblProductName->adjustSize();
    lblVersion->adjustSize();
}

void TOvAboutDlg::fitLabels()
{
    // The layout was drawn for a narrower font than the desktop may have: a
    // label too small for its text grows about its centre, as far as the
    // client area allows, so no text is cut off.
    constexpr int margin = 3;
    for (QLabel *label : {lblLinks, lblHome, lblSupport, lblOrder, lblOrderOrvantaStd,
                          lblOrderOrvantaPro, lblCopyright}) {
        const int needed = label->sizeHint().width();
        if (needed <= label->width())
            continue;
        QRect box = label->geometry();
        const int width = qMin(needed, this->width() - 2 * margin);
        box.setLeft(box.center().x() - width / 2);
        box.setWidth(width);
        if (box.left() < margin)
            box.moveLeft(margin);
        if (box.right() > this->width() - 1 - margin)
            box.moveRight(this->width() - 1 - margin);
        label->setGeometry(box);
    }
}

void TOvAboutDlg::openAddress(Qt::MouseButton Button, const QString &Address)
{
    if (Button != Qt::LeftButton)
        return;
    // The shell reports success above 32.
    if (uiServices().shellOpen(Address) <= 32)
        MessageDlg(QStringLiteral("Error opening following address: %1").arg(Address), mtError,
                   mbOK, 0);
}

void TOvAboutDlg::lblHomeMouseDown(QObject *Sender, Qt::MouseButton Button,
                                   Qt::KeyboardModifiers Shift, int X, int Y)
{
    openAddress(Button, HomeAddress());
}

void TOvAboutDlg::lblSupportMouseDown(QObject *Sender, Qt::MouseButton Button,
                                      Qt::KeyboardModifiers Shift, int X, int Y)
{
    openAddress(Button, SupportAddress());
}

void TOvAboutDlg::lblOrderMouseDown(QObject *Sender, Qt::MouseButton Button,
                                    Qt::KeyboardModifiers Shift, int X, int Y)
{
    openAddress(Button, Sender == lblOrderOrvantaStd ? OrderStdAddress() : OrderProAddress());
}

void TOvAboutDlg::reject()
{
    SetModalResult(mrOk);
}

bool TOvAboutDlg::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(Event);
        const QPoint at = mouse->position().toPoint();
        if (Watched == lblHome)
            lblHomeMouseDown(Watched, mouse->button(), mouse->modifiers(), at.x(), at.y());
        else if (Watched == lblSupport)
            lblSupportMouseDown(Watched, mouse->button(), mouse->modifiers(), at.x(), at.y());
        else if (Watched == lblOrderOrvantaStd || Watched == lblOrderOrvantaPro)
            lblOrderMouseDown(Watched, mouse->button(), mouse->modifiers(), at.x(), at.y());
        else
            return TForm::eventFilter(Watched, Event);
        return true;
    }
    return TForm::eventFilter(Watched, Event);
}

void ShowAboutBox()
{
    const auto dialog = std::make_unique<TOvAboutDlg>(nullptr);
    dialog->ShowModal();
}
