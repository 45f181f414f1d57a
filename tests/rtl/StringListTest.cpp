#include "QtPrinters.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <climits>

TEST(StringList, nameValueAccess)
{
    TStringList list(QStringList{"Server=alpha", "USER NAME=Bob", "Path=a=b", "plain", "=orphan"});

    EXPECT_EQ(list.Names(0), "Server") << "name is the text before the first =";
    EXPECT_EQ(list.Values("server"), "alpha") << "names compare without case";
    EXPECT_EQ(list.Values("Path"), "a=b") << "the value keeps later = signs";
    EXPECT_EQ(list.Names(3), "") << "an entry without = has no name";
    EXPECT_EQ(list.IndexOfName("plain"), -1) << "and is never found by name";
    EXPECT_EQ(list.IndexOfName("user name"), 1);
    EXPECT_EQ(list.ValueFromIndex(4), "orphan");
    EXPECT_EQ(list.Values("missing"), "");

    list.SetValues("USER name", "Alice");
    EXPECT_EQ(list[1], "USER name=Alice") << "setting replaces the entry in place";
    list.SetValues("Port", "5432");
    EXPECT_EQ(list[list.Count() - 1], "Port=5432") << "a new name is appended";
    list.SetValues("server", "");
    EXPECT_EQ(list.IndexOfName("Server"), -1) << "an empty value deletes the entry";
}

TEST(StringList, searchAssignAndRangeErrors)
{
    TStringList list(QStringList{"Alpha", "beta", "GAMMA"});
    EXPECT_EQ(list.IndexOf("ALPHA"), 0);
    EXPECT_EQ(list.IndexOf("gamma"), 2);
    EXPECT_EQ(list.IndexOf("delta"), -1);

    list.Assign(list);
    EXPECT_EQ(list.toStringList(), (QStringList{"Alpha", "beta", "GAMMA"}))
        << "assigning a list to itself keeps it";
    list.Assign(list.toStringList());
    EXPECT_EQ(list.Count(), 3) << "assigning its own items keeps them too";
    list.AddStrings(list);
    EXPECT_EQ(list.Count(), 6) << "adding a list to itself doubles it once";

    try {
        list.Strings(6);
        FAIL() << "index 6 of 6 entries must raise";
    } catch (const EListError &e) {
        EXPECT_TRUE(e.Message().contains("(6)")) << e.what();
    }
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_THROW(list.Insert(7, "x"), EListError);
    EXPECT_NO_THROW(list.Insert(6, "x")) << "inserting at Count appends";
}

TEST(StringList, textSplitsEveryLineBreak)
{
    TStringList list;
    list.SetText("one\r\ntwo\rthree\nfour");
    EXPECT_EQ(list.toStringList(), (QStringList{"one", "two", "three", "four"}));
    EXPECT_EQ(list.Text(), "one\ntwo\nthree\nfour\n") << "each entry ends with LF";

    list.SetText("a\n\nb\n");
    EXPECT_EQ(list.toStringList(), (QStringList{"a", "", "b"}))
        << "blank lines stay, a final break adds nothing";
    list.SetText("\r\n");
    EXPECT_EQ(list.toStringList(), QStringList{""});
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);

    list.Assign(QStringList{"x y", "plain", "say \"hi\""});
    EXPECT_EQ(list.CommaText(), "\"x y\",plain,\"say \"\"hi\"\"\"");

    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    list.Assign(QStringList{"ä", "b"});
    list.SaveToStream(buffer);
    EXPECT_EQ(buffer.data(), QByteArray("\xC3\xA4\nb\n")) << "saved as UTF-8";
    buffer.seek(0);
    TStringList back;
    back.LoadFromStream(buffer);
    EXPECT_EQ(back.toStringList(), list.toStringList());

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_THROW(list.SaveToStream(readOnly), EStreamError);
}

TEST(StringList, sortedWithDuplicateRules)
{
    TStringList list(QStringList{"pear", "Apple", "banana"});
    list.SetSorted(true);
    EXPECT_EQ(list.toStringList(), (QStringList{"Apple", "banana", "pear"}))
        << "sorting ignores case";

    EXPECT_EQ(list.Add("cherry"), 2) << "goes to its place";
    EXPECT_EQ(list.Add("APPLE"), 0) << "dupIgnore returns the existing entry";
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.IndexOf("PEAR"), 3);
    EXPECT_THROW(list.Insert(0, "zzz"), EListError) << "no positional insert in a sorted list";

    list.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(list.Add("Banana"), EListError);
    EXPECT_THROW(list.Put(0, "cherry"), EListError);
    EXPECT_EQ(list.toStringList(), (QStringList{"Apple", "banana", "cherry", "pear"}))
        << "refused changes leave the list as it was";

    list.Put(0, "quince");
    EXPECT_EQ(list.toStringList(), (QStringList{"banana", "cherry", "pear", "quince"}))
        << "a replaced entry moves to its place";

    list.SetDuplicates(TDuplicates::dupAccept);
    list.Add("Pear");
    EXPECT_EQ(list.toStringList(), (QStringList{"banana", "cherry", "pear", "Pear", "quince"}));
}

TEST(StringList, changeEventsOncePerChangeOrBracket)
{
    TStringList list;
    QStringList log;
    list.OnChanging = [&](QObject *) {
        log << "changing:" + QString::number(list.Count());
    };
    list.OnChange = [&](QObject *) {
        log << "change:" + QString::number(list.Count());
    };

    list.Add("a");
    EXPECT_EQ(log, (QStringList{"changing:0", "change:1"})) << "before and after one change";

    log.clear();
    list.SetText("x\ny\nz");
    EXPECT_EQ(log, (QStringList{"changing:1", "change:3"})) << "one pair for a whole SetText";

    log.clear();
    list.BeginUpdate();
    list.Add("p");
    list.Delete(0);
    list.BeginUpdate();
    list.Add("q");
    list.EndUpdate();
    EXPECT_EQ(log, QStringList{"changing:3"}) << "Changing once, Changed waits for the bracket";
    list.EndUpdate();
    EXPECT_EQ(log, (QStringList{"changing:3", "change:4"}));

    log.clear();
    list.BeginUpdate();
    list.EndUpdate();
    list.Clear();
    list.Clear();
    EXPECT_EQ(log, (QStringList{"changing:4", "change:0"}))
        << "an empty bracket and clearing an empty list report nothing";

    log.clear();
    EXPECT_THROW(list.Delete(0), EListError);
    EXPECT_TRUE(log.isEmpty()) << "a refused change raises no events";
}

TEST(SysUtils, textHelpersAndNumbers)
{
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_TRUE(SameText("Orvanta", "ORVANTA"));
    EXPECT_TRUE(SameText(QString::fromUtf8("Äpfel"), QString::fromUtf8("äPFEL")));
    EXPECT_FALSE(SameText(QString::fromUtf8("Straße"), "STRASSE"))
        << "letters fold one to one, as CompareText compares";
    EXPECT_EQ(SameText(QString::fromUtf8("Straße"), "STRASSE"),
              CompareText(QString::fromUtf8("Straße"), "STRASSE") == 0);
    EXPECT_TRUE(SameText(QString::fromUtf8("\U00010400x"), QString::fromUtf8("\U00010428X")))
        << "beyond the 16-bit plane";
    EXPECT_FALSE(SameText("Orvanta", "Orvanta "));
    EXPECT_EQ(Trim("\t x y \r\n"), "x y");
    // Folding meets SameText: the ASCII path changes A to Z alone (not the
    // neighbours @ [ ` {), any other text folds as Qt folds it.
    EXPECT_EQ(FoldCase("@AZ[`az{09"), "@az[`az{09");
    const QString plain = "already_folded";
    EXPECT_EQ(FoldCase(plain).constData(), plain.constData()) << "nothing to fold: no copy";
    for (const char *text : {"Xä", "ÄPFEL", "\U00010400x", "K\u212A"})
        EXPECT_EQ(FoldCase(QString::fromUtf8(text)), QString::fromUtf8(text).toCaseFolded())
            << text;

    int v = 0;
    EXPECT_TRUE(TryStrToInt(" -42 ", v));
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(TryStrToInt("0x1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(TryStrToInt("$FFFFFFFF", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT_MIN);
    for (const char *junk : {"", "12abc", "2147483648", "0x", "1 2", "ten", "+"})
        EXPECT_FALSE(TryStrToInt(junk, v)) << junk;
    EXPECT_EQ(StrToIntDef("x", 8), 8);
}
