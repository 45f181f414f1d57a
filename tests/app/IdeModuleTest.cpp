// A data module as an IDE writes it (tests/data/IdeOrdersModule.dfm): its own
// root class and root properties, events, components of other libraries
// with components inside them, a collection, binary data, a reference into
// another module, CR LF line breaks, UTF-8 text and one byte that is no
// UTF-8. It reads, it writes back to the byte, and a change rewrites only
// its own lines, through the library and through --gensql --write.
#include "CliRun.h"
#include "TestSupport.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

const QList<TComponentClass> moduleClasses
    = {&TOvSession::staticMetaObject,    &TOvDatabase::staticMetaObject,
       &TOvQuery::staticMetaObject,      &TOvMacroQuery::staticMetaObject,
       &TOvStoredProc::staticMetaObject, &TOvTable::staticMetaObject,
       &TOvUpdateSQL::staticMetaObject,  &TOvScript::staticMetaObject,
       &TOvMonitor::staticMetaObject,    &TOvSQLBaseServer::staticMetaObject,
       &TDataSource::staticMetaObject};

const char fixtureName[] = "IdeOrdersModule.dfm";

QByteArray fixture()
{
    QFile f(QStringLiteral(OV_TEST_DATA_DIR "/") + QLatin1String(fixtureName));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray examplesFile(const char *Name)
{
    QFile f(QStringLiteral(OV_EXAMPLES_DIR "/") + QLatin1String(Name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lines removed from Before and added in After, by their longest common
// subsequence: what a version control diff shows.
struct LineDiff
{
    QList<QByteArray> Removed;
    QList<QByteArray> Added;
};

LineDiff diffLines(const QByteArray &Before, const QByteArray &After)
{
    const QList<QByteArray> a = Before.split('\n');
    const QList<QByteArray> b = After.split('\n');
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1
                                        : std::max(common[i + 1][j], common[i][j + 1]);
    const auto withoutCr = [](QByteArray Line) {
        if (Line.endsWith('\r'))
            Line.chop(1);
        return Line;
    };
    LineDiff d;
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            ++i;
            ++j;
        } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
            d.Added.append(withoutCr(b[j++]));
        } else {
            d.Removed.append(withoutCr(a[i++]));
        }
    }
    return d;
}

// Lines as one text, for readable failures.
std::string joined(const QList<QByteArray> &Lines)
{
    return Lines.join('\n').toStdString();
}

class IdeModuleTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterClasses(moduleClasses); }
    static void TearDownTestSuite() { UnRegisterClasses(moduleClasses); }

    std::unique_ptr<QObject> read(const QByteArray &Bytes)
    {
        TFormReader reader(DecodeFormFileBytes(Bytes), QLatin1String(fixtureName));
        std::unique_ptr<QObject> root = reader.Read();
        warnings = reader.Warnings();
        return root;
    }
    template<class T = QObject>
    static T *part(QObject *Root, const char *Name)
    {
        return Root->findChild<T *>(QLatin1String(Name));
    }

    QList<TFormWarning> warnings;
};

} // namespace

TEST_F(IdeModuleTest, readsWhatItsIdeWroteAndWritesItBackToTheByte)
{
    const QByteArray bytes = fixture();
    ASSERT_FALSE(bytes.isEmpty());
    ASSERT_FALSE(bytes.isValidUtf8()) << "the fixture holds a byte that is no UTF-8";
    std::unique_ptr<QObject> root = read(bytes);

    // The root: a data module of its own class, its sizes read.
    ASSERT_NE(qobject_cast<TDataModule *>(root.get()), nullptr);
    EXPECT_EQ(FormClassName(root.get()), QStringLiteral("TOrdersModule"));
    EXPECT_EQ(qobject_cast<TDataModule *>(root.get())->Height(), 318);

    // Other libraries' components: kept, named with their classes, placed.
    QStringList notLoaded;
    for (QObject *c : DesignComponents(root.get()))
        if (auto *n = qobject_cast<TNotLoadedComponent *>(c))
            notLoaded << c->objectName() + QLatin1Char(':') + n->ClassName();
    EXPECT_EQ(notLoaded,
              QStringList({"ImageList1:TImageList", "ActionList1:TActionList",
                           "qOrdersAmount:TFloatField", "KestrelConnection1:TKestrelConnection",
                           "kqCustomers:TKestrelQuery"}));
    EXPECT_EQ(part(root.get(), "ImageList1")->property("Left").toInt(), 312);
    EXPECT_EQ(part(root.get(), "qOrdersAmount")->parent(), part(root.get(), "qOrders"))
        << "one inside a known component stays inside it";
    EXPECT_EQ(part(root.get(), "actRefresh"), nullptr)
        << "what is inside a not-loaded component is its text, not a component";

    // References: to a known component set, to a not-loaded one or into
    // another module kept as written and unset, the latter with a warning.
    EXPECT_EQ(part<TDataSource>(root.get(), "dsOrders")->DataSet(),
              part<TDataSet>(root.get(), "qOrders"));
    EXPECT_EQ(part<TDataSource>(root.get(), "dsCustomers")->DataSet(), nullptr);
    EXPECT_EQ(part<TDataSource>(root.get(), "dsCountries")->DataSet(), nullptr);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].Line, 97);
    EXPECT_EQ(warnings[0].Message,
              QStringLiteral("IdeOrdersModule.dfm(97): dsCountries.DataSet refers to "
                             "SharedData.qCountries in another module; kept as written"));

    // Text: UTF-8 as UTF-8, the stray byte as its Latin-1 character, -0.0 as -0.0.
    auto *labels = part<TOvQuery>(root.get(), "qLabels");
    EXPECT_EQ(labels->SQL()->Strings(0),
              QStringLiteral("select Name, 'Caf\u00e9' as Shop from Customer"));
    ASSERT_EQ(labels->Params()->Count(), 2);
    EXPECT_EQ(labels->Params()->Items(0)->Value(),
              QVariant(QStringLiteral("Gr\u00f6\u00dfe \u20ac")));
    const QVariant size = labels->Params()->Items(1)->Value();
    EXPECT_EQ(size.toDouble(), 0.0);
    EXPECT_TRUE(std::signbit(size.toDouble())) << "-0.0 is read as negative zero";

    const QByteArray written = FormFileBytes(root.get());
    EXPECT_TRUE(written == bytes) << "unchanged: the same bytes\n" << written.toStdString();
}

// One change, one change in the file: a property's lines, a new component's
// lines, a deleted component's lines; the rest as it was, to the byte.
TEST_F(IdeModuleTest, aChangeRewritesOnlyItsOwnLines)
{
    struct Case
    {
        const char *what;
        std::function<void(QObject *)> change;
        QList<QByteArray> removed, added;
    };
    const std::vector<Case> cases = {
        {"a property changed",
         [](QObject *Root) { part<TOvQuery>(Root, "qOrders")->SetDatabaseName("Shop"); },
         {"    DatabaseName = 'Demo'"},
         {"    DatabaseName = 'Shop'"}},
        {"a property set to its default",
         [](QObject *Root) { part<TOvDatabase>(Root, "Demo")->SetLoginPrompt(true); },
         {"    LoginPrompt = False"},
         {}},
        {"a string list with non-ASCII text",
         [](QObject *Root) {
             part<TOvQuery>(Root, "qOrders")
                 ->SQL()
                 ->Add(QStringLiteral("-- Bestellungen (\u00dcbersicht)"));
         },
         {"      'from Orders')"},
         {"      'from Orders'", "      '-- Bestellungen (\xc3\x9c"
                                 "bersicht)')"}},
        {"a not-loaded component moved",
         [](QObject *Root) {
             part(Root, "ImageList1")->setProperty("Left", 320);
             part(Root, "ImageList1")->setProperty("Top", 24);
         },
         {"    Left = 312", "    Top = 16"},
         {"    Left = 320", "    Top = 24"}},
        {"the module renamed",
         [](QObject *Root) { Root->setObjectName(QStringLiteral("OrdersData")); },
         {"object OrdersModule: TOrdersModule"},
         {"object OrdersData: TOrdersModule"}},
        {"a not-loaded component renamed: the kept reference follows",
         [](QObject *Root) {
             part(Root, "kqCustomers")->setObjectName(QStringLiteral("kqClients"));
         },
         {"  object kqCustomers: TKestrelQuery", "    DataSet = kqCustomers"},
         {"  object kqClients: TKestrelQuery", "    DataSet = kqClients"}},
        {"a component added",
         [](QObject *Root) {
             auto *q = new TOvQuery(Root);
             q->setObjectName(QStringLiteral("qNew"));
             q->SetDatabaseName(QStringLiteral("Demo"));
             q->setProperty("Left", 128);
             q->setProperty("Top", 240);
         },
         {},
         {"  object qNew: TOvQuery", "    DatabaseName = 'Demo'", "    Left = 128", "    Top = 240",
          "  end"}},
        {"a not-loaded component deleted: the reference to it goes",
         [](QObject *Root) {
             delete part(Root, "KestrelConnection1");
             delete part(Root, "kqCustomers");
         },
         {"  object KestrelConnection1: TKestrelConnection",
          "    ProviderName = 'PostgreSQL'",
          "    Port = 5432",
          "    Database = 'shop'",
          "    Username = 'app'",
          "    Server = 'db.example.org'",
          "    LoginPrompt = False",
          "    Left = 312",
          "    Top = 128",
          "  end",
          "  object kqCustomers: TKestrelQuery",
          "    Connection = KestrelConnection1",
          "    SQL.Strings = (",
          "      'select * from customers where city = :city')",
          "    Left = 312",
          "    Top = 184",
          "    ParamData = <",
          "      item",
          "        DataType = ftString",
          "        Name = 'city'",
          "        ParamType = ptInput",
          "        Value = 'K\xc3\xb6ln'",
          "      end>",
          "  end",
          "    DataSet = kqCustomers"},
         {}},
    };
    const QByteArray bytes = fixture();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<QObject> root = read(bytes);
        c.change(root.get());
        const QByteArray written = FormFileBytes(root.get());
        const LineDiff d = diffLines(bytes, written);
        QList<QByteArray> removed = d.Removed, expected = c.removed;
        std::sort(removed.begin(), removed.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(joined(removed), joined(expected));
        EXPECT_EQ(joined(d.Added), joined(c.added));

        EXPECT_FALSE(written.contains("\n\n") || written.contains("\r\r")) << "CR LF throughout";
        EXPECT_EQ(written.count("\r\n"), written.count('\n')) << "CR LF throughout";
        EXPECT_TRUE(written.contains("''Caf\xe9''")) << "the stray byte stays as it was";
        // What was written reads again, as the designer would open it.
        EXPECT_NO_THROW(read(written));
    }
}

// A collection changed is written anew as a whole, in declaration order:
// its values as they are, -0.0 as -0.0 and text as text.
TEST_F(IdeModuleTest, aChangedCollectionKeepsItsValues)
{
    std::unique_ptr<QObject> root = read(fixture());
    auto *labels = part<TOvQuery>(root.get(), "qLabels");
    labels->Params()->Items(0)->SetValue(QStringLiteral("Gr\u00f6\u00dfer \u20ac"));
    const QByteArray written = FormFileBytes(root.get());
    EXPECT_TRUE(written.contains("        Value = 'Gr\xc3\xb6\xc3\x9f"
                                 "er \xe2\x82\xac'\r\n"))
        << written.toStdString();
    EXPECT_TRUE(written.contains("        Value = -0.0\r\n")) << written.toStdString();
    std::unique_ptr<QObject> back = read(written);
    EXPECT_TRUE(std::signbit(
        part<TOvQuery>(back.get(), "qLabels")->Params()->Items(1)->Value().toDouble()));
}

// --gensql --write stores the statements and nothing else: the update
// object's lines change, every other line is the IDE's, the backup is the
// file as it was; --tree lists the not-loaded components and warns of the
// reference into another module.
TEST_F(IdeModuleTest, commandLineWritesOnlyTheStatements)
{
    TempFolder dir;
    const QByteArray bytes = fixture();
    dir.write(QLatin1String(fixtureName), bytes);
    dir.write(QStringLiteral("demo.sql"), examplesFile("demo.sql"));

    CliRun r = runOvdesigner({QStringLiteral("--tree"), QLatin1String(fixtureName)}, dir.path());
    EXPECT_EQ(r.exit, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("ImageList1 (not loaded: TImageList)")))
        << r.out.toStdString();
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("IdeOrdersModule.dfm(97): dsCountries.DataSet refers to "
                                      "SharedData.qCountries in another module; kept as written")))
        << r.out.toStdString();

    r = runOvdesigner({QStringLiteral("--gensql"), QLatin1String(fixtureName),
                       QStringLiteral("usOrders"), QStringLiteral("--write")},
                      dir.path());
    ASSERT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("IdeOrdersModule.dfm(97): dsCountries.DataSet")))
        << r.err.toStdString();
    const QByteArray written = dir.read(QLatin1String(fixtureName));
    EXPECT_EQ(dir.read(QStringLiteral("IdeOrdersModule.~dfm")), bytes);

    // Every line that changed is a statement line of usOrders.
    const LineDiff d = diffLines(bytes, written);
    EXPECT_EQ(joined(d.Removed), "      'update Orders set Amount = :Amount where "
                                 "OrderNo = :OLD_OrderNo')");
    EXPECT_FALSE(d.Added.isEmpty());
    for (const QByteArray &line : d.Added)
        EXPECT_TRUE(line.startsWith("      ") || line.endsWith("SQL.Strings = ("))
            << line.constData();
    const auto outside = [](const QByteArray &Text) {
        const qsizetype start = Text.indexOf("  object usOrders: TOvUpdateSQL\r\n");
        const qsizetype end = Text.indexOf("  end\r\n", start);
        return start < 0 || end < 0 ? QByteArray() : Text.left(start) + Text.mid(end);
    };
    EXPECT_FALSE(outside(bytes).isEmpty());
    EXPECT_EQ(outside(written), outside(bytes))
        << "outside usOrders, the file is as the IDE wrote it";
    EXPECT_TRUE(written.contains("    RefreshSQL.Strings = (\r\n"));
}
