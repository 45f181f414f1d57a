// The code editor: text modules the package opens show as tabs, a person's
// edits reach the module, saving writes the property, closing asks; SQL is
// coloured by what the runtime library's lexer reads.
#include "CodeEditorPane.h"
#include "PaneTestSupport.h"
#include "SqlHighlighter.h"

#include "designide/ComponentEditors.h"
#include "designide/PropertyEditors.h"
#include "designide/Registrations.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgsForms.h"

#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {

template<class T>
T *child(const TFormDesignerPtr &Designer, const char *Name)
{
    return Designer->Root()->findChild<T *>(QLatin1String(Name));
}

// Replaces the whole text of Edit as a person would: select all, type.
void retype(QPlainTextEdit *Edit, const QString &Text)
{
    Edit->setFocus();
    Edit->selectAll();
    const QStringList lines = Text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(Edit, Qt::Key_Return);
        QTest::keyClicks(Edit, lines[i]);
    }
}

} // namespace

class CodeEditorPaneTest : public PaneFixture
{
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        designer = openDemo();
        pane = std::make_unique<TCodeEditorPane>();
        pane->setDesigner(designer);
        pane->resize(520, 260);
        pane->show();
    }
    void TearDown() override
    {
        pane.reset();
        designer.reset();
        PaneFixture::TearDown();
    }

    // Runs the component editor's verb Caption and presses the code editor
    // button of the dialog it shows (of class Dialog), as a person hands a
    // text to the code editor.
    template<class Dialog>
    void handToCodeEditor(QObject *Component, const QString &Caption)
    {
        const auto editor = registrations()
                                .componentEditorFor(Component->metaObject())
                                .Create(Component, designer);
        int verb = -1;
        for (int i = 0; i < editor->GetVerbCount(); ++i)
            if (editor->GetVerb(i) == Caption)
                verb = i;
        ASSERT_GE(verb, 0) << Caption.toStdString();
        ui.onModal([](TForm &F) {
            auto *dialog = qobject_cast<Dialog *>(&F);
            ASSERT_TRUE(dialog);
            dialog->btCodeEditorClick();
        });
        editor->ExecuteVerb(verb);
    }
    // The query's Edit SQL verb (the SQL-editor switch is on).
    void openSqlOf(TOvQuery *Query) { handToCodeEditor<TOvSQLEditDlg>(Query, SEditSQLVerb()); }

    QAction *action(const QString &Text) const
    {
        for (QAction *a : pane->actions())
            if (a->text() == Text)
                return a;
        return nullptr;
    }

    ScriptedUi ui;
    TFormDesignerPtr designer;
    std::unique_ptr<TCodeEditorPane> pane;
};

// A query's SQL opened from its editor: a coloured tab with the text; typing
// marks it modified without touching the query; saving writes the query's
// SQL through the strings file system and tells the designer; closing a
// modified tab asks: Cancel keeps it, No drops the edit, Yes saves it.
TEST_F(CodeEditorPaneTest, EditSaveAndCloseAQuerysSQL)
{
    auto *orders = child<TOvQuery>(designer, "qOrders");
    const QString original = orders->SQL()->Text();
    QSignalSpy shown(pane.get(), &TCodeEditorPane::showRequested);
    openSqlOf(orders);
    ASSERT_EQ(pane->tabCount(), 1);
    EXPECT_EQ(pane->tabTitle(0), "qOrders.SQL");
    EXPECT_EQ(pane->moduleAt(0)->GetFileName(), "dfm.DemoData.qOrders.SQL");
    EXPECT_EQ(pane->editorAt(0)->toPlainText().toStdString(), original.toStdString());
    EXPECT_NE(pane->highlighterAt(0), nullptr);
    EXPECT_EQ(shown.count(), 1) << "the package showed its editor";
    designer->setModified(false);

    QPlainTextEdit *edit = pane->editorAt(0);
    retype(edit, "select * from Orders\nwhere CustNo = :CustNo");
    EXPECT_EQ(pane->tabTitle(0), "*qOrders.SQL");
    EXPECT_EQ(orders->SQL()->Text(), original) << "not written before a save";
    EXPECT_FALSE(designer->isModified());
    screenshot(pane.get(), "code_editor");

    QAction *save = action("Save");
    ASSERT_TRUE(save);
    EXPECT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save));
    save->trigger();
    EXPECT_EQ(orders->SQL()->Text(), "select * from Orders\nwhere CustNo = :CustNo\n");
    EXPECT_TRUE(designer->isModified()) << "the save told the designer";
    EXPECT_EQ(pane->tabTitle(0), "qOrders.SQL");

    // Cancel keeps the tab and the edit.
    QTest::keyClicks(edit, " and 1 = 1");
    ui.answer(mrCancel);
    EXPECT_FALSE(pane->closeTab(0));
    ASSERT_EQ(pane->tabCount(), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains("dfm.DemoData.qOrders.SQL"));
    EXPECT_EQ(ui.messages[0].buttons, mbYesNoCancel);

    // No drops it.
    ui.answer(mrNo);
    emit pane->tabs()->tabCloseRequested(0); // the tab's close button
    EXPECT_EQ(pane->tabCount(), 0);
    EXPECT_EQ(orders->SQL()->Text(), "select * from Orders\nwhere CustNo = :CustNo\n");

    // Yes saves it, and the module goes.
    openSqlOf(orders);
    ASSERT_EQ(pane->tabCount(), 1);
    retype(pane->editorAt(0), "select 1");
    ui.answer(mrYes);
    EXPECT_TRUE(pane->closeTab(0));
    EXPECT_EQ(pane->tabCount(), 0);
    EXPECT_EQ(orders->SQL()->Text(), "select 1\n");
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// A module opened again takes the new text into its open tab; the database's
// parameters (opened with Alt through their property editor) are no SQL; a
// save whose component is gone is reported and leaves the tab modified, and
// the tab closes once the designer announces the component gone; a module
// opened before the pane existed shows too.
TEST_F(CodeEditorPaneTest, ReopenPlainTextAndFailedSave)
{
    auto *orders = child<TOvQuery>(designer, "qOrders");
    openSqlOf(orders);
    orders->SQL()->SetText("select 2");
    openSqlOf(orders);
    ASSERT_EQ(pane->tabCount(), 1) << "the same module, not a second tab";
    EXPECT_EQ(pane->editorAt(0)->toPlainText(), "select 2\n");

    pane->setCurrentIndex(0);
    handToCodeEditor<TOvDatabaseParamsDlg>(child<TOvDatabase>(designer, "Demo"), SBindVerb());
    ASSERT_EQ(pane->tabCount(), 2);
    EXPECT_EQ(pane->currentIndex(), 1) << "brought to front";
    EXPECT_EQ(pane->tabTitle(1), "Demo.Params");
    EXPECT_EQ(pane->highlighterAt(1), nullptr) << "parameters are no SQL";

    TCodeEditorPane late;
    EXPECT_EQ(late.tabCount(), 2) << "modules open before the pane existed";

    retype(pane->editorAt(0), "select 3");
    delete orders;
    ui.answer(mrOk).answer(mrOk);
    pane->setCurrentIndex(0);
    action("Save")->trigger();
    EXPECT_FALSE(pane->saveTab(0)) << "again";
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_TRUE(ui.messages[0].text.contains("no longer exists"));
    EXPECT_EQ(pane->tabTitle(0), "*qOrders.SQL") << "still modified";
    designer->notifyComponentsChanged();
    ASSERT_EQ(pane->tabCount(), 1) << "its text has nowhere to go";
    EXPECT_EQ(pane->tabTitle(0), "Demo.Params");
}

// Another module in the designer: the modules of the old one's components
// close with it. queryCloseModules lets the person save them first, and a
// Cancel stops it.
TEST_F(CodeEditorPaneTest, ModulesGoWithTheirDataModule)
{
    openSqlOf(child<TOvQuery>(designer, "qOrders"));
    openSqlOf(child<TOvQuery>(designer, "qTotals"));
    ASSERT_EQ(pane->tabCount(), 2);
    retype(pane->editorAt(1), "select 4");

    ui.answer(mrCancel);
    EXPECT_FALSE(pane->queryCloseModules());
    EXPECT_EQ(pane->tabCount(), 2);
    ui.answer(mrYes);
    EXPECT_TRUE(pane->queryCloseModules());
    EXPECT_EQ(pane->tabCount(), 0);
    EXPECT_EQ(child<TOvQuery>(designer, "qTotals")->SQL()->Text(), "select 4\n");

    openSqlOf(child<TOvQuery>(designer, "qOrders"));
    retype(pane->editorAt(0), "select 5");
    pane->setDesigner(openDemo());
    EXPECT_EQ(pane->tabCount(), 0) << "closed without asking: its components go";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// The colours of SQL: each row marks a character by its offset and the kind
// it must be coloured as.
TEST(SqlHighlighter, KindsOfCharacters)
{
    struct Row
    {
        const char *text;
        int at;
        TSqlHighlighter::Kind kind;
    };
    using K = TSqlHighlighter::Kind;
    const Row rows[] = {
        {"select a from t", 0, K::Keyword},
        {"SeLeCt a", 3, K::Keyword},
        {"select a from t", 7, K::Plain},
        {"select 'from :x' from t", 9, K::String},
        {"select 'from :x' from t", 14, K::String},
        {"select 'it''s' from t", 11, K::String},
        {"select \"from\" from t", 8, K::Plain},
        {"where a = :CustNo", 12, K::Parameter},
        {"where a = :\"Cust No\"", 14, K::Parameter},
        {"select a::int from t", 10, K::Plain},
        {"select a::int from t", 8, K::Plain},
        {"select 1 -- from t", 14, K::Comment},
        {"select /* from */ a", 10, K::Comment},
        {"select /* a /* b */ from */ x", 21, K::Comment},
        {"select 12.5e3 from t", 9, K::Number},
        {"select $$ from $$ x", 11, K::String},
        {"select 'open", 10, K::String},
        {"select /* open", 12, K::Comment},
        // What a line leaves open goes on in the next.
        {"select $x$ a\nb $y$ c\n$x$ from t", 19, K::String},
        {"select $x$ a\nb $y$ c\n$x$ from t", 25, K::Keyword},
        {"select /* a /* b */\nfrom */ x", 20, K::Comment},
        {"select /* a /* b */\nfrom */ x", 28, K::Plain},
        {"select E'a\\'\nfrom' x", 13, K::String},
        {"select 'a''\nfrom' x", 12, K::String},
        {"where a = :\"Cust\nNo\" and", 17, K::Parameter},
        {"where a = :\"Cust\nNo\" and", 21, K::Keyword},
        {"select \"a\nfrom\" from", 10, K::Plain},
        {"select \"a\nfrom\" from", 16, K::Keyword},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        QTextDocument doc;
        TSqlHighlighter h(&doc);
        doc.setPlainText(QString::fromUtf8(row.text));
        EXPECT_EQ(h.kindAt(row.at), row.kind) << "at " << row.at;
    }
}

// Constructs that span lines colour the lines below them, and an edit above
// recolours what follows; a change colours each line it reaches once, and a
// keystroke that opens or closes nothing colours its own line alone.
TEST(SqlHighlighter, MultiLineConstructsAndCost)
{
    QTextDocument doc;
    TSqlHighlighter h(&doc);
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("select a%1 from t where b = :p%1").arg(i);
    doc.setPlainText(lines.join('\n'));
    const auto formatAt = [&](int Block, int Column) {
        const QTextBlock block = doc.findBlockByNumber(Block);
        for (const QTextLayout::FormatRange &r : block.layout()->formats())
            if (Column >= r.start && Column < r.start + r.length)
                return r.format;
        return QTextCharFormat();
    };
    EXPECT_EQ(formatAt(3, 0).fontWeight(), QFont::Bold) << "keyword on line 4";
    EXPECT_FALSE(formatAt(3, 0).fontItalic());

    const int lexes = h.lexCount();
    QTextCursor c(&doc);
    c.insertText("/* ");
    EXPECT_LE(h.lexCount() - lexes, 5000 + 1) << "each line once";
    EXPECT_TRUE(formatAt(3, 0).fontItalic()) << "line 4 is inside the opened comment";
    EXPECT_TRUE(formatAt(4999, 0).fontItalic());

    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::Down);
    c.insertText("*/ ");
    EXPECT_TRUE(formatAt(0, 5).fontItalic());
    EXPECT_FALSE(formatAt(3, 0).fontItalic()) << "closed again on line 2";
    EXPECT_EQ(formatAt(3, 0).fontWeight(), QFont::Bold);

    QTextCursor key(doc.findBlockByNumber(2500));
    const int beforeKey = h.lexCount();
    key.insertText("x");
    EXPECT_EQ(h.lexCount() - beforeKey, 1) << "a keystroke colours its line";
    key.insertText("'");
    EXPECT_EQ(formatAt(4999, 0).foreground().color(), QColor(0, 120, 0))
        << "a literal opened on line 2501 runs to the end";
}
