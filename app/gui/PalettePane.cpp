#include "PalettePane.h"

#include "designide/PackageLoader.h"
#include "designide/Registrations.h"

#include "orvlib/DB.h"

#include <QApplication>
#include <QBitmap>
#include <QDrag>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QtEndian>

namespace {

constexpr int GlyphSize = 24;

// The capitals of a class name after its "T" prefix, at most two:
// "TDataSource" gives "DS".
QString initialsOf(const QString &ClassName)
{
    QString name = ClassName;
    if (name.size() > 1 && name.at(0) == u'T' && name.at(1).isUpper())
        name.remove(0, 1);
    QString initials;
    for (const QChar c : std::as_const(name))
        if (c.isUpper() && initials.size() < 2)
            initials += c;
    return initials.isEmpty() ? name.left(2) : initials;
}

QPixmap drawnGlyph(const QString &ClassName)
{
    QPixmap pixmap(GlyphSize, GlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(64, 64, 96));
    p.setBrush(QColor(224, 232, 248));
    p.drawRoundedRect(QRectF(1.5, 1.5, GlyphSize - 3, GlyphSize - 3), 3, 3);
    QFont font = p.font();
    font.setPixelSize(10);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, 0, GlyphSize, GlyphSize), Qt::AlignCenter, initialsOf(ClassName));
    return pixmap;
}

QToolButton *makeButton(QWidget *Parent)
{
    auto *button = new QToolButton(Parent);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setIconSize(QSize(GlyphSize, GlyphSize));
    button->setFixedSize(GlyphSize + 8, GlyphSize + 8);
    return button;
}

QPixmap pointerGlyph()
{
    QPixmap pixmap(GlyphSize, GlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    const QPointF arrow[] = {{7, 3}, {7, 19}, {11, 15}, {14, 21}, {16, 20}, {13, 14}, {18, 14}};
    p.drawPolygon(arrow, std::size(arrow));
    return pixmap;
}

} // namespace

QPixmap componentGlyph(TComponentClass Class)
{
    if (!Class)
        return {};
    const QString name = QString::fromLatin1(Class->className());
    QFile resource(QStringLiteral(":/") + name.toUpper());
    QByteArray bytes = resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
    // A bitmap resource is a device-independent bitmap without the file
    // header a .bmp file starts with: put one in front so Qt reads it.
    if (bytes.size() > 40 && !bytes.startsWith("BM")) {
        const quint32 headerSize = qFromLittleEndian<quint32>(bytes.constData());
        const quint16 bits = qFromLittleEndian<quint16>(bytes.constData() + 14);
        quint32 colours = qFromLittleEndian<quint32>(bytes.constData() + 32);
        if (colours == 0 && bits <= 8)
            colours = 1u << bits;
        QByteArray file(14, '\0');
        file[0] = 'B';
        file[1] = 'M';
        qToLittleEndian<quint32>(quint32(14 + bytes.size()), file.data() + 2);
        qToLittleEndian<quint32>(quint32(14 + headerSize + 4 * colours), file.data() + 10);
        bytes.prepend(file);
    }
    QPixmap pixmap;
    if (bytes.isEmpty() || !pixmap.loadFromData(bytes, "BMP"))
        return drawnGlyph(name);
    // The glyphs are drawn on a background colour that the lower-left pixel
    // shows; the palette's own background takes its place.
    const QImage image = pixmap.toImage();
    const QColor background = image.pixelColor(0, image.height() - 1);
    pixmap.setMask(pixmap.createMaskFromColor(background, Qt::MaskInColor));
    return pixmap;
}

TPalettePane::TPalettePane(QWidget *Parent)
    : QWidget(Parent)
    , m_tabs(new QTabWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    m_tabs->setDocumentMode(true);
    refresh();
    // The view is rebuilt at once: at an unload it lets go of the package's
    // classes while the module is still loaded.
    m_notifier = addPackageNotifier([this](const QString &, bool) { refresh(); });
}

TPalettePane::~TPalettePane()
{
    removePackageNotifier(m_notifier);
}

QString TPalettePane::environmentPage()
{
    return QStringLiteral("Data Access");
}

QList<TComponentClass> TPalettePane::environmentClasses()
{
    return {&TDataSource::staticMetaObject};
}

void TPalettePane::setDesigner(const TFormDesignerPtr &Designer)
{
    m_designer = Designer;
}

void TPalettePane::refresh()
{
    const QString current = m_tabs->count() ? m_tabs->tabText(m_tabs->currentIndex()) : QString();
    m_classOf.clear();
    m_pointers.clear();
    while (m_tabs->count()) {
        QWidget *page = m_tabs->widget(0);
        m_tabs->removeTab(0);
        delete page;
    }

    const Registrations &regs = registrations();
    QStringList pageNames = regs.palettePages();
    pageNames.removeAll(environmentPage());
    for (const QString &page : std::as_const(pageNames))
        m_tabs->addTab(makePage(regs.paletteClasses(page)), page);
    // The environment's page keeps what a package adds to it too.
    QList<TComponentClass> own = environmentClasses();
    for (TComponentClass c : regs.paletteClasses(environmentPage()))
        if (!own.contains(c))
            own << c;
    m_tabs->addTab(makePage(own), environmentPage());

    for (int i = 0; i < m_tabs->count(); ++i)
        if (m_tabs->tabText(i) == current)
            m_tabs->setCurrentIndex(i);
    // A class whose package went is no choice any more.
    if (m_chosen && !buttonOf(m_chosen))
        clearChoice();
    updateChecks();
}

QWidget *TPalettePane::makePage(const QList<TComponentClass> &Classes)
{
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *strip = new QWidget;
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(1);

    QToolButton *pointer = makeButton(strip);
    pointer->setIcon(pointerGlyph());
    pointer->setToolTip(tr("Select (no component)"));
    connect(pointer, &QToolButton::clicked, this, [this] { clearChoice(); });
    row->addWidget(pointer);
    m_pointers << pointer;

    for (TComponentClass c : Classes) {
        QToolButton *button = makeButton(strip);
        const QString name = QString::fromLatin1(c->className());
        button->setIcon(componentGlyph(c));
        button->setToolTip(name);
        button->setAccessibleName(name);
        button->setObjectName(name);
        button->installEventFilter(this);
        connect(button, &QToolButton::clicked, this, [this, button] { buttonClicked(button); });
        m_classOf.insert(button, c);
        row->addWidget(button);
    }
    row->addStretch(1);
    scroll->setWidget(strip);
    scroll->setMinimumHeight(GlyphSize + 14);
    return scroll;
}

void TPalettePane::buttonClicked(QToolButton *Button)
{
    const TComponentClass c = m_classOf.value(Button);
    if (c && c != m_chosen)
        chooseClass(c);
    else
        clearChoice();
}

bool TPalettePane::chooseClass(TComponentClass Class)
{
    if (!Class || !buttonOf(Class))
        return false;
    m_chosen = Class;
    updateChecks();
    emit componentClassChosen(Class);
    return true;
}

void TPalettePane::clearChoice()
{
    const bool had = m_chosen != nullptr;
    m_chosen = nullptr;
    updateChecks();
    if (had)
        emit choiceCleared();
}

void TPalettePane::updateChecks()
{
    for (auto it = m_classOf.cbegin(); it != m_classOf.cend(); ++it)
        it.key()->setChecked(it.value() == m_chosen);
    for (QToolButton *pointer : std::as_const(m_pointers))
        pointer->setChecked(!m_chosen);
}

void TPalettePane::focusGlyphs()
{
    QWidget *page = m_tabs->currentWidget();
    for (QToolButton *b : page ? page->findChildren<QToolButton *>() : QList<QToolButton *>())
        if (m_classOf.contains(b)) {
            b->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    m_tabs->setFocus(Qt::ShortcutFocusReason);
}

QStringList TPalettePane::pages() const
{
    QStringList result;
    for (int i = 0; i < m_tabs->count(); ++i)
        result << m_tabs->tabText(i);
    return result;
}

QList<TComponentClass> TPalettePane::classesOf(const QString &Page) const
{
    QList<TComponentClass> result;
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->tabText(i) != Page)
            continue;
        // In the order of the row, not of the hash.
        for (QToolButton *b : m_tabs->widget(i)->findChildren<QToolButton *>())
            if (const TComponentClass c = m_classOf.value(b))
                result << c;
    }
    return result;
}

QToolButton *TPalettePane::buttonOf(TComponentClass Class) const
{
    for (auto it = m_classOf.cbegin(); it != m_classOf.cend(); ++it)
        if (it.value() == Class)
            return it.key();
    return nullptr;
}

bool TPalettePane::eventFilter(QObject *Watched, QEvent *Event)
{
    auto *button = qobject_cast<QToolButton *>(Watched);
    const TComponentClass c = button ? m_classOf.value(button) : nullptr;
    if (!c)
        return QWidget::eventFilter(Watched, Event);
    if (Event->type() == QEvent::MouseButtonDblClick
        || (Event->type() == QEvent::KeyPress
            && (static_cast<QKeyEvent *>(Event)->key() == Qt::Key_Return
                || static_cast<QKeyEvent *>(Event)->key() == Qt::Key_Enter))) {
        clearChoice();
        emit placeRequested(c);
        return true;
    }
    if (Event->type() == QEvent::MouseButtonPress) {
        m_pressAt = static_cast<QMouseEvent *>(Event)->position().toPoint();
    } else if (Event->type() == QEvent::MouseMove) {
        auto *move = static_cast<QMouseEvent *>(Event);
        if ((move->buttons() & Qt::LeftButton)
            && (move->position().toPoint() - m_pressAt).manhattanLength()
                   >= QApplication::startDragDistance()) {
            auto *drag = new QDrag(button);
            auto *data = new QMimeData;
            data->setData(QLatin1String(ComponentClassMimeType), QByteArray(c->className()));
            drag->setMimeData(data);
            drag->setPixmap(componentGlyph(c));
            button->setDown(false);
            drag->exec(Qt::CopyAction);
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}
