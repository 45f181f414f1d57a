#pragma once

#include "FormDesigner.h"

#include "designide/DesignIntf.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QTabWidget;
class QToolButton;

// The MIME type of a component class dragged from the palette: the data is
// the class name in UTF-8.
inline constexpr char ComponentClassMimeType[] = "application/x-ovdesigner-component-class";

// The glyph of a component class: the 24 x 24 picture a package registered
// as a resource named after the class in upper case (":/TOVQUERY"), its
// lower-left colour made transparent, or a drawn stand-in with the class's
// initials when there is none.
QPixmap componentGlyph(TComponentClass Class);

// The component palette: one tab per palette page of the registration
// tables, in the order the pages were first registered, each with its
// classes' glyphs (componentGlyph) in registration order (tooltip: the class name), and
// last the environment's own page with the components a data module needs besides a package's (a
// data source for master/detail links).
//
// A glyph pressed stays chosen until clearChoice() (the surface calls it once
// it placed the component) or the pointer button; pressing the chosen glyph
// again clears it. Enter on a glyph, or a double click, asks for its class
// to be placed at once (placeRequested). Glyphs can also be dragged
// (ComponentClassMimeType). The
// pages are rebuilt whenever a package is loaded or unloaded.
class TPalettePane : public QWidget
{
    Q_OBJECT

public:
    explicit TPalettePane(QWidget *Parent = nullptr);
    ~TPalettePane() override;

    // The caption of the environment's page.
    static QString environmentPage();
    // The classes of the environment's page.
    static QList<TComponentClass> environmentClasses();

    // The palette does not depend on the module open; kept so every pane is
    // wired alike.
    void setDesigner(const TFormDesignerPtr &Designer);

    // The class chosen for the next component, or null.
    TComponentClass chosenClass() const { return m_chosen; }
    // Chooses Class as a click on its glyph does; false when no page shows it.
    bool chooseClass(TComponentClass Class);
    void clearChoice();

    // The captions of the pages as shown, and the classes of one of them.
    QStringList pages() const;
    QList<TComponentClass> classesOf(const QString &Page) const;
    // The glyph button of Class (for tests and screenshots), or null.
    QToolButton *buttonOf(TComponentClass Class) const;

    // Builds the pages again from the registration tables.
    void refresh();
    // Gives the keyboard to the first glyph of the page shown.
    void focusGlyphs();

signals:
    // A glyph was chosen (by a click or chooseClass).
    void componentClassChosen(TComponentClass Class);
    // The choice was cleared.
    void choiceCleared();
    // Enter or a double click on Class's glyph: place one now.
    void placeRequested(TComponentClass Class);

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    QWidget *makePage(const QList<TComponentClass> &Classes);
    void buttonClicked(QToolButton *Button);
    void updateChecks();

    QTabWidget *m_tabs;
    TFormDesignerPtr m_designer;
    TComponentClass m_chosen = nullptr;
    QList<QToolButton *> m_pointers; // the pointer button of each page
    QHash<QToolButton *, TComponentClass> m_classOf;
    QPoint m_pressAt;
    int m_notifier = 0;
};
