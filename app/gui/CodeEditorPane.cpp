#include "CodeEditorPane.h"

#include "GuiErrors.h"
#include "SqlHighlighter.h"

#include "designide/Stfilsys.h"

#include "rtl/Classes.h"
#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

#include <QAction>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

class TCodeEditorPane::Listener : public TModuleServicesNotifier
{
public:
    explicit Listener(TCodeEditorPane *Pane)
        : m_pane(Pane)
    {}
    void ModuleOpened(const IOTAModulePtr &Module) override { m_pane->moduleOpened(Module); }
    void ModuleClosed(const IOTAModulePtr &Module) override { m_pane->moduleClosed(Module); }
    void EditorChanged(const IOTASourceEditorPtr &Editor) override
    {
        m_pane->editorChanged(Editor);
    }
    void EditorShown(const IOTASourceEditorPtr &Editor) override { m_pane->editorShown(Editor); }

private:
    TCodeEditorPane *m_pane;
};

TCodeEditorPane::TCodeEditorPane(QWidget *Parent, std::shared_ptr<TModuleServices> Services)
    : QWidget(Parent)
    , m_services(std::move(Services))
    , m_listener(std::make_unique<Listener>(this))
    , m_tabs(new QTabWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int Index) { closeTab(Index); });

    // Ctrl+S in a tab saves the tab: the tab takes the key before any
    // shortcut sees it (see eventFilter), so the window's own Ctrl+S, which
    // saves the module everywhere else, is no rival.
    auto *save = new QAction(tr("Save"), this);
    save->setShortcut(QKeySequence::Save);
    save->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QAction::triggered, this, [this] { saveTab(currentIndex()); });
    addAction(save);
    m_tabs->tabBar()->installEventFilter(this);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { emit tabsChanged(); });
    auto *close = new QAction(tr("Close"), this);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    close->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(close, &QAction::triggered, this, [this] { closeTab(currentIndex()); });
    addAction(close);

    if (m_services) {
        m_notifier = m_services->AddNotifier(m_listener.get());
        // Modules opened before the pane existed.
        for (int i = 0; i < m_services->GetModuleCount(); ++i)
            moduleOpened(m_services->GetModule(i));
    }
}

TCodeEditorPane::~TCodeEditorPane()
{
    if (m_services)
        m_services->RemoveNotifier(m_notifier);
}

bool TCodeEditorPane::isSqlModule(const QString &FileName)
{
    return FileName.endsWith(QLatin1String("SQL"), Qt::CaseInsensitive);
}

QString TCodeEditorPane::shortName(const QString &FileName)
{
    // extension "." root "." component "." property; the root and the
    // extension are the same for every tab of the module.
    const QStringList parts = FileName.split(u'.');
    return parts.size() >= 4 ? parts.mid(2).join(u'.') : FileName;
}

void TCodeEditorPane::moduleOpened(const IOTAModulePtr &Module)
{
    if (!Module || Module->GetModuleFileCount() < 1)
        return;
    const auto editor = std::dynamic_pointer_cast<IOTASourceEditor>(Module->GetModuleFileEditor(0));
    if (!editor || indexOfEditor(editor.get()) >= 0)
        return;
    auto *edit = new QPlainTextEdit;
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setTabStopDistance(4 * edit->fontMetrics().horizontalAdvance(u' '));
    Tab tab{Module, editor, edit, nullptr};
    if (isSqlModule(Module->GetFileName()))
        tab.Highlighter = new TSqlHighlighter(edit->document(), edit->palette());
    m_updating = true;
    edit->setPlainText(editor->GetText());
    m_updating = false;
    connect(edit, &QPlainTextEdit::textChanged, this, [this, edit] { textEdited(edit); });
    edit->installEventFilter(this);
    m_list.append(tab);
    const int index = m_tabs->addTab(edit, QString());
    m_tabs->setTabToolTip(index, Module->GetFileName());
    updateTitle(index);
    emit tabsChanged();
}

void TCodeEditorPane::moduleClosed(const IOTAModulePtr &Module)
{
    for (int i = 0; i < m_list.size(); ++i) {
        if (m_list[i].Module.lock() != Module)
            continue;
        QWidget *edit = m_list[i].Edit;
        m_list.removeAt(i);
        m_tabs->removeTab(i);
        delete edit;
        emit tabsChanged();
        if (m_list.isEmpty())
            emit emptied();
        return;
    }
}

void TCodeEditorPane::editorChanged(const IOTASourceEditorPtr &Editor)
{
    const int index = indexOfEditor(Editor.get());
    if (index < 0)
        return;
    QPlainTextEdit *edit = m_list[index].Edit;
    // The text came from elsewhere (a package opened the same property
    // again): the tab shows it. Its own keystrokes arrive here equal.
    const QString text = Editor->GetText();
    if (edit->toPlainText() != text) {
        m_updating = true;
        edit->setPlainText(text);
        m_updating = false;
    }
    updateTitle(index);
}

void TCodeEditorPane::editorShown(const IOTASourceEditorPtr &Editor)
{
    const int index = indexOfEditor(Editor.get());
    if (index < 0)
        return;
    m_tabs->setCurrentIndex(index);
    emit showRequested();
}

void TCodeEditorPane::textEdited(QPlainTextEdit *Edit)
{
    if (m_updating)
        return;
    const int index = indexOfWidget(Edit);
    if (index < 0)
        return;
    if (const IOTASourceEditorPtr editor = m_list[index].Editor.lock()) {
        const QString text = Edit->toPlainText();
        if (editor->GetText() != text)
            editor->SetText(text); // marks it modified; the title follows
    }
}

int TCodeEditorPane::indexOfEditor(const IOTAEditor *Editor) const
{
    for (int i = 0; i < m_list.size(); ++i)
        if (m_list[i].Editor.lock().get() == Editor)
            return i;
    return -1;
}

int TCodeEditorPane::indexOfWidget(const QWidget *Edit) const
{
    for (int i = 0; i < m_list.size(); ++i)
        if (m_list[i].Edit == Edit)
            return i;
    return -1;
}

void TCodeEditorPane::updateTitle(int Index)
{
    const IOTAModulePtr module = moduleAt(Index);
    const IOTASourceEditorPtr editor = m_list[Index].Editor.lock();
    if (!module || !editor)
        return;
    const QString name = shortName(module->GetFileName());
    m_tabs->setTabText(Index, editor->GetModified() ? QStringLiteral("*") + name : name);
}

int TCodeEditorPane::tabCount() const
{
    return static_cast<int>(m_list.size());
}

IOTAModulePtr TCodeEditorPane::moduleAt(int Index) const
{
    return Index >= 0 && Index < m_list.size() ? m_list[Index].Module.lock() : nullptr;
}

QPlainTextEdit *TCodeEditorPane::editorAt(int Index) const
{
    return Index >= 0 && Index < m_list.size() ? m_list[Index].Edit : nullptr;
}

TSqlHighlighter *TCodeEditorPane::highlighterAt(int Index) const
{
    return Index >= 0 && Index < m_list.size() ? m_list[Index].Highlighter : nullptr;
}

int TCodeEditorPane::indexOf(const QString &FileName) const
{
    for (int i = 0; i < m_list.size(); ++i)
        if (const IOTAModulePtr m = m_list[i].Module.lock();
            m && SameText(m->GetFileName(), FileName))
            return i;
    return -1;
}

int TCodeEditorPane::currentIndex() const
{
    return m_tabs->currentIndex();
}

void TCodeEditorPane::setCurrentIndex(int Index)
{
    m_tabs->setCurrentIndex(Index);
}

QString TCodeEditorPane::tabTitle(int Index) const
{
    return m_tabs->tabText(Index);
}

bool TCodeEditorPane::saveTab(int Index)
{
    const IOTAModulePtr module = moduleAt(Index);
    if (!module)
        return false;
    try {
        module->Save();
    } catch (const Exception &e) {
        showErrorMessage(e.Message());
        return false;
    }
    return true;
}

bool TCodeEditorPane::closeTab(int Index)
{
    const IOTAModulePtr module = moduleAt(Index);
    if (!module)
        return false;
    try {
        // Asks first when modified; the services then tell the pane, which
        // takes the tab away.
        return module->Close();
    } catch (const Exception &e) {
        showErrorMessage(e.Message());
        return false;
    }
}

bool TCodeEditorPane::belongsTo(int Index, const QObject *Root) const
{
    const IOTAModulePtr module = moduleAt(Index);
    const TStringsProperty *file
        = module ? StringsFileSystem()->FindTStringsProperty(module->GetFileName()) : nullptr;
    if (!file)
        return false;
    const QObject *component = file->Component();
    if (!component)
        return true;
    for (const QObject *o = component; o; o = o->parent())
        if (o == Root)
            return true;
    return false;
}

bool TCodeEditorPane::queryCloseModules()
{
    const QObject *root = m_designer ? m_designer->Root() : nullptr;
    if (!root)
        return true;
    for (int i = tabCount(); i-- > 0;)
        if (i < tabCount() && belongsTo(i, root) && !closeTab(i))
            return false;
    return true;
}

void TCodeEditorPane::closeModulesOf(const QObject *Root)
{
    for (int i = tabCount(); i-- > 0;)
        if (i < tabCount() && belongsTo(i, Root))
            if (const IOTAModulePtr module = moduleAt(i))
                module->CloseModule(true);
}

void TCodeEditorPane::setDesigner(const TFormDesignerPtr &Designer)
{
    if (Designer == m_designer)
        return;
    if (m_designer) {
        m_designer->disconnect(this);
        if (m_designer->Root())
            closeModulesOf(m_designer->Root());
    }
    m_designer = Designer;
    if (m_designer) {
        connect(m_designer.get(), &TFormDesigner::componentsChanged, this,
                &TCodeEditorPane::followComponents);
        connect(m_designer.get(), &TFormDesigner::designChanged, this,
                &TCodeEditorPane::followComponents);
    }
}

void TCodeEditorPane::followComponents()
{
    const QObject *root = m_designer ? m_designer->Root() : nullptr;
    if (!root || !m_services)
        return;
    for (int i = tabCount(); i-- > 0;) {
        const IOTAModulePtr module = moduleAt(i);
        const TStringsProperty *file
            = module ? StringsFileSystem()->FindTStringsProperty(module->GetFileName()) : nullptr;
        if (!file || !belongsTo(i, root))
            continue;
        const QObject *component = file->Component();
        if (!component) {
            // Its text has nowhere to go.
            module->CloseModule(true);
            continue;
        }
        // extension "." root "." component "." property
        const QString name = module->GetFileName();
        const QString extension = name.section(QLatin1Char('.'), 0, 0);
        const QString wanted
            = QStringLiteral("%1.%2.%3.%4")
                  .arg(extension, root->objectName(), component->objectName(), file->PropName());
        if (wanted != name && m_services->RenameModule(name, wanted))
            m_tabs->setTabToolTip(i, wanted);
        // A tab without edits of its own shows what the property holds now
        // (an undo or redo changed it): saving it never brings back text
        // the property no longer has. The lines are compared, so a tab
        // saved without a last line break keeps its text and its cursor.
        const QVariant value = component->property(file->PropName().toLatin1().constData());
        const TStrings *lines = value.value<TStrings *>();
        const IOTASourceEditorPtr editor = m_list[i].Editor.lock();
        if (!lines || !editor || editor->GetModified())
            continue;
        TStringList shown;
        shown.SetText(editor->GetText());
        if (shown.Text() != lines->Text())
            m_services->ReloadModule(module->GetFileName(), lines->Text());
    }
}

QList<int> TCodeEditorPane::pendingTabs() const
{
    QList<int> tabs;
    const QObject *root = m_designer ? m_designer->Root() : nullptr;
    for (int i = 0; i < tabCount(); ++i)
        if (const IOTASourceEditorPtr editor = m_list[i].Editor.lock();
            root && editor && editor->GetModified() && belongsTo(i, root))
            tabs.append(i);
    return tabs;
}

QStringList TCodeEditorPane::modifiedTitles() const
{
    QStringList titles;
    for (int i : pendingTabs())
        titles << shortName(moduleAt(i)->GetFileName());
    return titles;
}

bool TCodeEditorPane::saveModifiedTabs()
{
    for (int i : pendingTabs())
        if (!saveTab(i))
            return false;
    return true;
}

bool TCodeEditorPane::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::ShortcutOverride || Event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(Event);
        if (key->matches(QKeySequence::Save)) {
            // Taken here, before the window's Save: the tab is what is edited.
            Event->accept();
            if (Event->type() == QEvent::KeyPress) {
                const int index = Watched == m_tabs->tabBar()
                                      ? currentIndex()
                                      : indexOfWidget(qobject_cast<QWidget *>(Watched));
                if (index >= 0)
                    saveTab(index);
            }
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}
