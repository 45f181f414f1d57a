#include "FullDisk.h"
#include "TestSupport.h"

#include "designide/FormFile.h"

#include "rtl/Classes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QPointer>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

// Test classes with a property of every kind a form file knows.

class TFormTestItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Name MEMBER Name)
    Q_PROPERTY(int Size MEMBER Size)
    Q_PROPERTY(QVariant Value MEMBER Value)

public:
    using QObject::QObject;
    QString Name;
    int Size = 10;
    QVariant Value;
};

// A collection as the meta-object system sees one.
class TFormTestCollection : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    Q_INVOKABLE int Count() const { return static_cast<int>(m_items.size()); }
    Q_INVOKABLE TFormTestItem *Item(int Index) const { return m_items.value(Index); }
    Q_INVOKABLE TFormTestItem *Add()
    {
        m_items.append(new TFormTestItem(this));
        return m_items.last();
    }
    Q_INVOKABLE void Clear()
    {
        qDeleteAll(m_items);
        m_items.clear();
    }

private:
    QList<TFormTestItem *> m_items;
};

class TFormTestComponent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Enabled MEMBER Enabled)
    Q_PROPERTY(int Count MEMBER Count)
    Q_PROPERTY(qint64 Big MEMBER Big)
    Q_PROPERTY(double Ratio MEMBER Ratio)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(TMode Mode MEMBER Mode)
    Q_PROPERTY(TOptions Options READ GetOptions WRITE SetOptions)
    Q_PROPERTY(TStrings *Lines READ Lines WRITE SetLines)
    Q_PROPERTY(TFormTestCollection *Items READ Items)
    Q_PROPERTY(QObject *Buddy MEMBER Buddy)
    Q_PROPERTY(TFormTestComponent *Next MEMBER Next)
    Q_PROPERTY(QVariant Tag MEMBER Tag)
    Q_PROPERTY(QString Version READ Version)
    Q_PROPERTY(QString Scratch MEMBER Scratch STORED false)
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected)

public:
    enum TMode { mdFirst, mdSecond, mdThird };
    Q_ENUM(TMode)
    enum TOption { opRed = 1, opGreen = 2, opBlue = 4 };
    Q_DECLARE_FLAGS(TOptions, TOption)
    Q_FLAG(TOptions)

    Q_INVOKABLE explicit TFormTestComponent(QObject *AOwner = nullptr)
        : QObject(AOwner)
    {
        ++alive;
    }
    ~TFormTestComponent() override { --alive; }

    TOptions GetOptions() const { return Options; }
    void SetOptions(TOptions V) { Options = V; }
    TStrings *Lines() { return &m_lines; }
    void SetLines(TStrings *V) { m_lines.Assign(*V); }
    TFormTestCollection *Items() { return m_items; }
    QString Version() const { return QStringLiteral("1.0"); }
    bool Connected() const { return m_connected; }
    void SetConnected(bool V)
    {
        if (V && Caption == QLatin1String("unreachable"))
            throw Exception(QStringLiteral("cannot connect"));
        m_connected = V;
    }

    bool Enabled = true;
    int Count = 0;
    qint64 Big = 0;
    double Ratio = 0.5;
    QString Caption;
    TMode Mode = mdFirst;
    TOptions Options = TOptions(opRed);
    QObject *Buddy = nullptr;
    TFormTestComponent *Next = nullptr;
    QVariant Tag;
    QString Scratch;
    static inline int alive = 0;

private:
    TStringList m_lines;
    // Named, as a query names its Params: no component of that name is shadowed by it.
    TFormTestCollection *m_items = [this] {
        auto *items = new TFormTestCollection(this);
        items->setObjectName(QStringLiteral("Items"));
        return items;
    }();
    bool m_connected = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFormTestComponent::TOptions)

// A class that is no component: it has no property of the test classes.
class TFormTestOther : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFormTestOther(QObject *AOwner = nullptr)
        : QObject(AOwner)
    {}
};

namespace {

class FormFileTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RegisterClasses({&TFormTestComponent::staticMetaObject, &TFormTestOther::staticMetaObject});
    }
    static void TearDownTestSuite()
    {
        UnRegisterClasses(
            {&TFormTestComponent::staticMetaObject, &TFormTestOther::staticMetaObject});
    }

    static std::unique_ptr<QObject> read(const QString &Text)
    {
        TFormReader reader(Text, QStringLiteral("test.dfm"));
        return reader.Read();
    }
};

TFormTestComponent *child(QObject *Root, const char *Name)
{
    return Root->findChild<TFormTestComponent *>(QLatin1String(Name));
}

TEST_F(FormFileTest, everyKindOfValueRoundTripsByteForByte)
{
    TDataModule root;
    root.setObjectName(QStringLiteral("DataModule1"));
    root.SetHeight(300);
    auto *a = new TFormTestComponent(&root);
    a->setObjectName(QStringLiteral("First"));
    a->Enabled = false;
    a->Count = -42;
    a->Big = Q_INT64_C(9000000000);
    a->Ratio = 0.1;
    a->Caption = QStringLiteral("It's \"quoted\"\tand tabbed, caf\u00e9 \u65e5\u672c \U0001F600");
    a->Mode = TFormTestComponent::mdThird;
    a->Options
        = TFormTestComponent::TOptions(TFormTestComponent::opGreen) | TFormTestComponent::opBlue;
    a->Lines()->Assign(QStringList{QStringLiteral("select ID, NAME\r\nfrom CUSTOMER"),
                                   QStringLiteral("where"), QString(),
                                   QStringLiteral("  ID = :OLD_ID"),
                                   QString(100, QLatin1Char('x')) + QStringLiteral("\u00e9")});
    TFormTestItem *item = a->Items()->Add();
    item->Name = QStringLiteral("P1");
    item->Value = 7;
    TFormTestItem *second = a->Items()->Add();
    second->Size = 3;
    second->Value = QStringLiteral("text");
    a->Items()->Add()->Value = 2.5;
    a->Tag = true;
    a->setProperty("Left", 40);
    a->setProperty("Top", 16);
    auto *b = new TFormTestComponent(&root);
    b->setObjectName(QStringLiteral("Second"));
    b->Caption = QString(150, QLatin1Char('y'));
    b->Buddy = &root;
    b->Next = a;
    a->Next = b; // a reference forward to a component read later
    auto *nested = new TFormTestComponent(b);
    nested->setObjectName(QStringLiteral("Nested"));
    nested->Count = 1;

    const QString text = WriteFormText(&root);
    // The layout of what is written, in declaration order, defaults left out.
    EXPECT_TRUE(text.startsWith(QStringLiteral("object DataModule1: TDataModule\n"
                                               "  Height = 300\n"
                                               "  object First: TFormTestComponent\n"
                                               "    Enabled = False\n"
                                               "    Count = -42\n"
                                               "    Big = 9000000000\n"
                                               "    Ratio = 0.1\n")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral(
        "    Caption = 'It''s \"quoted\"'#9'and tabbed, caf'#233' '#26085#26412' '#55357#56832\n")))
        << qPrintable(text);
    EXPECT_TRUE(
        text.contains(QStringLiteral("    Mode = mdThird\n    Options = [opGreen, opBlue]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("    Lines.Strings = (\n"
                                             "      'select ID, NAME'#13#10 +\n"
                                             "      'from CUSTOMER'\n"
                                             "      'where'\n"
                                             "      ''\n"
                                             "      '  ID = :OLD_ID'\n")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("    Items = <\n"
                                             "      item\n"
                                             "        Name = 'P1'\n"
                                             "        Value = 7\n"
                                             "      end\n")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("        Value = 2.5\n      end>\n")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("    Next = Second\n    Tag = True\n    Left = 40\n    Top = 16\n  end\n")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("    Caption =\n      '")));
    EXPECT_TRUE(text.contains(QStringLiteral("    Buddy = DataModule1\n")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("    object Nested: TFormTestComponent\n      Count = 1\n    end\n")))
        << qPrintable(text);
    EXPECT_FALSE(text.contains(QStringLiteral("Version")))
        << "read-only properties are not written";
    EXPECT_FALSE(text.contains(QStringLiteral("Scratch"))) << "unstored properties are not written";

    std::unique_ptr<QObject> back = read(text);
    EXPECT_EQ(WriteFormText(back.get()), text) << "read and written again: identical";
    TFormTestComponent *ra = child(back.get(), "First");
    TFormTestComponent *rb = child(back.get(), "Second");
    ASSERT_TRUE(ra && rb);
    EXPECT_EQ(ra->Caption, a->Caption);
    EXPECT_EQ(ra->Lines()->toStringList(), a->Lines()->toStringList()) << "line breaks kept";
    EXPECT_EQ(ra->Big, a->Big);
    EXPECT_EQ(ra->Ratio, 0.1);
    EXPECT_EQ(ra->Options, a->Options);
    EXPECT_EQ(ra->Items()->Count(), 3);
    EXPECT_EQ(ra->Items()->Item(1)->Size, 3);
    EXPECT_EQ(ra->Items()->Item(2)->Value, QVariant(2.5));
    EXPECT_EQ(ra->Next, rb) << "forward reference resolved";
    EXPECT_EQ(rb->Buddy, back.get()) << "reference to the root";
    EXPECT_EQ(rb->Caption, b->Caption) << "a long string comes back whole";
    EXPECT_EQ(ra->property("Left").toInt(), 40);
    EXPECT_EQ(child(back.get(), "Nested")->parent(), rb) << "nested object owned by its parent";
}

// A form written by hand or by another tool is written back as it was read
// while nothing changes: defaults given, properties out of order, keywords
// and names in other letter cases, hexadecimal and signed numbers, a split
// string. A change rewrites the lines of that property alone, in its place;
// a value set back to what was read is written as it was read.
TEST_F(FormFileTest, handWrittenFormIsKeptUntilChanged)
{
    const QString text = QStringLiteral("\xFEFFinherited DM: tdatamodule\n"
                                        "  Width = 215\n"
                                        "  inline c1: TFormTestComponent\n"
                                        "    caption = 'a' + \n      'b'#$41\n"
                                        "    Enabled = true\n"
                                        "    Ratio = 5E-1\n"
                                        "    Count = $10\n"
                                        "    mode = MDSECOND\n"
                                        "    Options = []\n"
                                        "    Big = +7\n"
                                        "    Next = nil\n"
                                        "    Lines.Strings = ()\n"
                                        "    Items = <>\n"
                                        "  END\n"
                                        "end\n");
    std::unique_ptr<QObject> root = read(text);
    EXPECT_EQ(WriteFormText(root.get()), text) << "unchanged: as read, to the byte";
    TFormTestComponent *c1 = child(root.get(), "c1");
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->Caption, QStringLiteral("abA"));
    EXPECT_EQ(c1->Count, 16);
    EXPECT_EQ(c1->Mode, TFormTestComponent::mdSecond);

    c1->Count = 17;
    c1->Enabled = false;
    c1->Caption = QStringLiteral("abA"); // the value it had
    QString expected = text;
    expected.replace(QStringLiteral("Count = $10"), QStringLiteral("Count = 17"));
    expected.replace(QStringLiteral("Enabled = true"), QStringLiteral("Enabled = False"));
    EXPECT_EQ(WriteFormText(root.get()).toStdString(), expected.toStdString())
        << "two lines changed in their places";

    // A property the text did not give goes after those declared before it.
    c1->Big = 7;
    c1->Ratio = 0.5;
    c1->Tag = 3;
    root->setObjectName(QStringLiteral("DM2"));
    expected.replace(QStringLiteral("inherited DM: tdatamodule"),
                     QStringLiteral("inherited DM2: tdatamodule"));
    expected.replace(QStringLiteral("    Items = <>\n"),
                     QStringLiteral("    Items = <>\n    Tag = 3\n"));
    EXPECT_EQ(WriteFormText(root.get()).toStdString(), expected.toStdString());

    // A value set to the default is no longer written.
    c1->Count = 0;
    expected.replace(QStringLiteral("    Count = 17\n"), QString());
    EXPECT_EQ(WriteFormText(root.get()).toStdString(), expected.toStdString());
}

// A reference finds its component once the whole form is read, by name in
// any letter case; a part of a component that carries a name (its
// collection) is no component, and a form cannot rename one.
TEST_F(FormFileTest, referencesFindComponentsByTheirNames)
{
    const QString text = QStringLiteral("object DM: TDataModule\n"
                                        "  object A: TFormTestComponent\n"
                                        "    Next = %1\n"
                                        "  end\n"
                                        "  object B: TFormTestComponent\n"
                                        "    Next = A\n"
                                        "  end\n"
                                        "end\n");
    std::unique_ptr<QObject> root = read(text.arg(QLatin1String("b")));
    EXPECT_EQ(child(root.get(), "A")->Next, child(root.get(), "B")) << "forward, other case";
    EXPECT_EQ(child(root.get(), "B")->Next, child(root.get(), "A"));
    for (const char *none : {"C", "Items", "DM_"}) {
        QString message;
        try {
            read(text.arg(QLatin1String(none)));
        } catch (const EFormError &e) {
            message = e.Message();
        }
        EXPECT_EQ(message, QStringLiteral("test.dfm(3:12): unknown component %1").arg(none));
    }
    EXPECT_THROW(read(text.arg(QLatin1String("B\n    objectName = 'C'"))), EFormError);
}

// The components of a module, as the structure view and the command line
// list them: nested ones after their owner, in the order read, and no part
// of a component (its named collection here) nor an object without a name.
TEST_F(FormFileTest, designComponentsAreTheNamedObjectsOfFormClasses)
{
    std::unique_ptr<QObject> root = read(QStringLiteral("object DM: TDataModule\n"
                                                        "  object a: TFormTestComponent\n"
                                                        "    object b: TFormTestComponent\n"
                                                        "    end\n"
                                                        "  end\n"
                                                        "  object c: TFormTestOther\n"
                                                        "  end\n"
                                                        "end\n"));
    new TFormTestComponent(root.get()); // unnamed
    QStringList names;
    for (const QObject *o : DesignComponents(root.get()))
        names << o->objectName();
    EXPECT_EQ(names, QStringList({"a", "b", "c"}));
    EXPECT_TRUE(DesignComponents(nullptr).isEmpty());
}

TEST_F(FormFileTest, errorsNameLineAndColumnAndBuildNothing)
{
    struct Case
    {
        const char *text;
        int line, column;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"", 1, 1, "\"object\" expected"},
        {"object A: TNoSuchClass\n  Colour = =\nend\n", 2, 12, "value expected"},
        {"object A: TDataModule\n  object B: TNoSuchClass\n    Colour = 1\n", 4, 1,
         "\"end\" expected"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Colour = 1\n  end\nend\n", 3,
         5, "unknown property Colour of TFormTestComponent"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Count = 'x'\n  end\nend\n", 3,
         13, "integer expected for property Count"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Count = 99999999999\n  "
         "end\nend\n",
         3, 13, "integer out of range"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Mode = mdFourth\n", 3, 12,
         "invalid value mdFourth for property Mode"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Options = [opRed, opPink]\n  "
         "end\nend",
         3, 23, "invalid set member opPink"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Enabled = Yes\n  end\nend", 3,
         15, "True or False expected"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption = 'open\n  end\nend",
         3, 15, "unterminated string"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n  end\n", 4, 1,
         "\"end\" expected"},
        {"object A: TDataModule\nend\nend\n", 3, 1, "text after the end of the form"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n  end\n  object b: "
         "TFormTestComponent\n  end\nend",
         4, 10, "a component named b already exists"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Next = Ghost\n  end\nend", 3,
         12, "unknown component Ghost"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Next = A\n  end\nend", 3, 12,
         "A is no TFormTestComponent"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Version = '2'\n  end\nend", 3,
         5, "property Version is read-only"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Lines = 'x'\n  end\nend", 3, 5,
         "string list expected as Lines.Strings"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption.Strings = ()\n  "
         "end\nend",
         3, 5, "property Caption is no string list"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Items = <\n      itm\n", 4, 7,
         "\"item\" or \">\" expected"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Items = <item Colour = 1 "
         "end>\n  end\nend",
         3, 19, "unknown property Colour of TFormTestItem"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Tag = {0A0}\n  end\nend", 3,
         11, "odd number of hexadecimal digits"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Tag = {0G}\n  end\nend", 3, 13,
         "hexadecimal digit expected"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption = {00}\n  end\nend", 3,
         15, "string expected for property Caption"},
        // Numbers the type cannot hold are refused, never turned into others.
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Tag = 1e999\n  end\nend", 3,
         11, "number 1e999 out of range"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Ratio = 1e-400\n  end\nend", 3,
         13, "number 1e-400 out of range"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Tag = 18446744073709551616\n"
         "  end\nend",
         3, 11, "integer 18446744073709551616 out of range"},
        // One rule for names, whatever path gives them.
        {"object A: TDataModule\n  object nil: TFormTestComponent\n  end\nend", 2, 10,
         "invalid component name \"nil\""},
        {"object A: TDataModule\n  object Caf\u00e9: TFormTestComponent\n  end\nend", 2, 10,
         "invalid component name \"Caf\u00e9\""},
        // Lines end with CR alone or CR LF as well as LF.
        {"object A: TDataModule\r  object B: TFormTestComponent\r    Colour = 1\r  end\rend\r", 3,
         5, "unknown property Colour"},
        {"object A: TDataModule\r\n  object B: TFormTestComponent\r\n    Colour = 1\r\n  "
         "end\r\nend",
         3, 5, "unknown property Colour"},
        {"object A: TDataModule\n  Height = 1x\nend", 2, 12, "invalid number"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption = #\n  end\nend", 3,
         15, "character code expected"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption = #70000\n  end\nend",
         3, 15, "character code out of range"},
        {"object A: TDataModule\n  object B.C: TFormTestComponent\n  end\nend", 2, 10,
         "invalid component name"},
        // After a string on the same line, a doubled quote counted as two columns.
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption = 'it''s'#\n  "
         "end\nend",
         3, 22, "character code expected"},
        {"object A: TDataModule\n  object B: TFormTestComponent\n    Caption = 'ab'#$10000\n  "
         "end\nend",
         3, 19, "character code out of range"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const int aliveBefore = TFormTestComponent::alive;
        try {
            read(QString::fromUtf8(c.text));
            ADD_FAILURE() << "no error";
        } catch (const EFormError &e) {
            EXPECT_EQ(e.Line(), c.line);
            EXPECT_EQ(e.Column(), c.column);
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(c.message)))
                << qPrintable(e.Message());
            EXPECT_TRUE(e.Message().startsWith(
                QStringLiteral("test.dfm(%1:%2): ").arg(c.line).arg(c.column)))
                << qPrintable(e.Message());
        }
        EXPECT_EQ(TFormTestComponent::alive, aliveBefore) << "nothing left built";
    }
    // Deep nesting is refused, not followed down the stack.
    QString deep = QStringLiteral("object A: TDataModule\n  Height = ");
    deep += QString(100000, QLatin1Char('('));
    EXPECT_THROW(read(deep), EFormError);
}

// A form read and written without edits says what it said: the block
// headers, the types of stored values, and components whatever their names.
TEST_F(FormFileTest, aFormReadAndWrittenKeepsWhatItSaid)
{
    const QString text
        = QStringLiteral("inherited DM: TDataModule\n"
                         "  inherited First: TFormTestComponent [0]\n"
                         "    Tag = 18446744073709551615\n"
                         "  end\n"
                         "  inline Frame: TFormTestComponent [2]\n"
                         "    Tag = {00FF10}\n"
                         "    object Inner: TFormTestComponent\n"
                         "      Next = Items\n"
                         "      Tag = 1e-310\n"
                         "    end\n"
                         "  end\n"
                         "  object Items: TFormTestComponent\n"
                         "    Tag = {\n"
                         "      000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n"
                         "      20}\n"
                         "  end\n"
                         "end\n");
    std::unique_ptr<QObject> root = read(text);
    EXPECT_EQ(WriteFormText(root.get()), text) << "headers, positions and values kept";
    EXPECT_EQ(child(root.get(), "First")->Tag.metaType().id(), QMetaType::ULongLong);
    EXPECT_EQ(child(root.get(), "First")->Tag.toULongLong(), Q_UINT64_C(18446744073709551615));
    EXPECT_EQ(child(root.get(), "Frame")->Tag, QVariant(QByteArray("\x00\xff\x10", 3)))
        << "binary data stays binary";
    EXPECT_EQ(child(root.get(), "Inner")->Next, child(root.get(), "Items"))
        << "a component named like another's helper object is found";
    EXPECT_EQ(child(root.get(), "Items")->Tag.toByteArray().size(), 33);
}

// A file that is UTF-8 but for a stray byte is read as UTF-8, each byte that
// is no part of a valid sequence kept as it was (its value the byte's Latin-1
// character); the bytes come back unchanged, whatever the sequence.
TEST_F(FormFileTest, bytesThatAreNoUtf8AreKeptAndTheRestIsUtf8)
{
    const QByteArray form = "object DM: TDataModule\n"
                            "  object C: TFormTestComponent\n"
                            "    Caption = 'Gr\xc3\xb6\xc3\x9f"
                            "e \xe2\x82\xac Caf\xe9'\n"
                            "  end\n"
                            "end\n";
    std::unique_ptr<QObject> root = read(DecodeFormFileBytes(form));
    EXPECT_EQ(child(root.get(), "C")->Caption, QStringLiteral("Gr\u00f6\u00dfe \u20ac Caf\u00e9"))
        << "UTF-8 as UTF-8, the stray byte as its Latin-1 character";
    EXPECT_EQ(EncodeFormFileText(WriteFormText(root.get())), form);
    child(root.get(), "C")->Caption += QStringLiteral("!");
    EXPECT_TRUE(
        WriteFormText(root.get())
            .contains(QStringLiteral("    Caption = 'Gr\u00f6\u00dfe \u20ac Caf\u00e9!'\n")))
        << "rewritten, non-ASCII text stays text in a file that had it so";

    const std::vector<QByteArray> sequences = {
        "\xe9",             // Latin-1
        "\xc0\xaf",         // an overlong "/"
        "\xe2\x82",         // cut short at the end
        "\xed\xa0\x80",     // a surrogate
        "\x80\xbf",         // continuation bytes alone
        "\xf4\x90\x80\x80", // past U+10FFFF
        "\xf0\x9f\x98\x80", // valid: U+1F600
        "\xff\xfe",
    };
    for (const QByteArray &bytes : sequences) {
        SCOPED_TRACE(bytes.toHex().constData());
        const QByteArray text = "a" + bytes + "b" + bytes;
        const QString decoded = DecodeFormFileBytes(text);
        EXPECT_FALSE(decoded.contains(QChar::ReplacementCharacter));
        EXPECT_EQ(EncodeFormFileText(decoded), text);
    }
    EXPECT_EQ(DecodeFormFileBytes("\xf0\x9f\x98\x80\xe9"), QStringLiteral("\U0001F600\xdce9"));
}

// Saving over a form: a link planted where the backup goes is replaced, not
// written through; the backup keeps the form's permissions; bytes that are no
// UTF-8 are kept, not replaced; a file another program changed
// since it was read is not overwritten. No temporary file is left.
TEST_F(FormFileTest, savingNeverLosesOrExposesWhatWasThere)
{
    TempFolder dir;
    const QString file = dir.file(QStringLiteral("Private.dfm"));
    const QByteArray original("object DM: TDataModule\n"
                              "  object C: TFormTestComponent\n"
                              "    Caption = 'caf\xe9 pw=secret'\n"
                              "  end\n"
                              "end\n");
    dir.write(QStringLiteral("Private.dfm"), original);
    const auto privateMode
        = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    ASSERT_TRUE(QFile::setPermissions(file, privateMode));
    dir.write(QStringLiteral("victim.txt"), "not the form's");
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("victim.txt")),
                            dir.file(QStringLiteral("Private.~dfm"))));

    TFormFileStamp stamp;
    std::unique_ptr<QObject> root = LoadFormFile(file, nullptr, nullptr, &stamp);
    EXPECT_EQ(child(root.get(), "C")->Caption, QStringLiteral("caf\u00e9 pw=secret"))
        << "a Latin-1 byte is read as Latin-1";
    const TFormFileStamp saved = SaveFormFile(root.get(), file, &stamp);

    EXPECT_EQ(dir.read(QStringLiteral("victim.txt")), "not the form's")
        << "nothing written through the planted link";
    EXPECT_FALSE(QFileInfo(dir.file(QStringLiteral("Private.~dfm"))).isSymLink());
    EXPECT_EQ(dir.read(QStringLiteral("Private.~dfm")), original) << "the backup is the old form";
    EXPECT_EQ(QFile::permissions(dir.file(QStringLiteral("Private.~dfm"))), privateMode)
        << "the backup is as private as the form";
    EXPECT_EQ(QFile::permissions(file), privateMode);
    EXPECT_EQ(dir.read(QStringLiteral("Private.dfm")), original)
        << "unchanged, the byte that is no UTF-8 is written back as it was";
    EXPECT_EQ(saved, CurrentFormFileStamp(file));

    // Another program writes the form; the next save with the old stamp refuses.
    dir.write(QStringLiteral("Private.dfm"), "edited elsewhere");
    EXPECT_FALSE(CurrentFormFileStamp(file) == saved);
    child(root.get(), "C")->Count = 7;
    EXPECT_THROW(SaveFormFile(root.get(), file, &saved), EFormFileChanged);
    EXPECT_EQ(dir.read(QStringLiteral("Private.dfm")), "edited elsewhere");
    EXPECT_EQ(dir.read(QStringLiteral("Private.~dfm")), original);
    EXPECT_EQ(filesIn(dir.path()), QStringList({"Private.dfm", "Private.~dfm", "victim.txt"}))
        << "no temporary file left";
}

TEST_F(FormFileTest, activationsAreHeldBackUntilApplied)
{
    const QString text = QStringLiteral("object A: TDataModule\n"
                                        "  object B: TFormTestComponent\n"
                                        "    Connected = True\n"
                                        "  end\n"
                                        "  object C: TFormTestComponent\n"
                                        "    Caption = 'unreachable'\n"
                                        "    Connected = True\n"
                                        "  end\n"
                                        "end\n");
    TFormReader reader(text, QStringLiteral("f.dfm"));
    std::unique_ptr<QObject> root = reader.Read();
    ASSERT_EQ(reader.Deferred().size(), 2);
    EXPECT_EQ(reader.Deferred()[0].Component, child(root.get(), "B"));
    EXPECT_EQ(reader.Deferred()[1].Line, 7);
    EXPECT_FALSE(child(root.get(), "B")->Connected()) << "reading connects nothing";
    EXPECT_TRUE(IsHeldActivation(child(root.get(), "B"), QStringLiteral("Connected")));
    EXPECT_EQ(WriteFormText(root.get()), text) << "held values are written back as stored";
    try {
        reader.ApplyDeferred();
        ADD_FAILURE() << "C cannot connect";
    } catch (const EFormError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("f.dfm(7): C.Connected: cannot connect"));
    }
    EXPECT_TRUE(child(root.get(), "B")->Connected()) << "applied in form order";
}

TEST_F(FormFileTest, savingKeepsBackupAndReplacesAtomically)
{
    TempFolder dir;
    const QString file = dir.file(QStringLiteral("Unit1.dfm"));
    EXPECT_EQ(FormBackupFileName(file), dir.file(QStringLiteral("Unit1.~dfm")));
    EXPECT_EQ(FormBackupFileName(QStringLiteral("/x/noext")), QStringLiteral("/x/noext~"));

    TDataModule root;
    root.setObjectName(QStringLiteral("DM"));
    auto *c = new TFormTestComponent(&root);
    c->setObjectName(QStringLiteral("C"));
    SaveFormFile(&root, file);
    EXPECT_FALSE(dir.exists(QStringLiteral("Unit1.~dfm"))) << "no backup of a new file";
    const QByteArray first = dir.read(QStringLiteral("Unit1.dfm"));
    EXPECT_EQ(QString::fromUtf8(first), WriteFormText(&root));

    c->Count = 5;
    SaveFormFile(&root, file);
    EXPECT_EQ(dir.read(QStringLiteral("Unit1.~dfm")), first) << "previous version kept";
    const QByteArray second = dir.read(QStringLiteral("Unit1.dfm"));
    EXPECT_TRUE(second.contains("Count = 5"));

    // A value that cannot be written: nothing is touched.
    c->Ratio = std::nan("");
    EXPECT_THROW(SaveFormFile(&root, file), EFormError);
    EXPECT_EQ(dir.read(QStringLiteral("Unit1.dfm")), second);
    EXPECT_EQ(dir.read(QStringLiteral("Unit1.~dfm")), first);
    c->Ratio = 0.5;

    // The backup cannot be written (a folder is in its place): the save
    // fails and the form file stays whole.
    const QString blocked = dir.file(QStringLiteral("Blocked.dfm"));
    dir.write(QStringLiteral("Blocked.dfm"), "old content");
    QDir(dir.path()).mkdir(QStringLiteral("Blocked.~dfm"));
    EXPECT_THROW(SaveFormFile(&root, blocked), EFormError);
    EXPECT_EQ(dir.read(QStringLiteral("Blocked.dfm")), QByteArray("old content"));

    EXPECT_THROW(SaveFormFile(&root, dir.path()), EFormError) << "a folder is no form file";
    try {
        LoadFormFile(dir.file(QStringLiteral("missing.dfm")));
        ADD_FAILURE() << "no error";
    } catch (const EFormError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("missing.dfm")));
    }
}

} // namespace

#include "FormFileTest.moc"
