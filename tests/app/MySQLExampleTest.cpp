// The MariaDB example through the command line, against the server named by
// OV_MY_CONNINFO, in a database of its own: the statements --gensql writes
// are run with a real row and the whole table compared, and --check finds a
// schema that drifted from the module.

#include "CliRun.h"
#include "MyTestServer.h"
#include "TestSupport.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"

#include <QDate>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QString example(const QString &Name)
{
    QFile f(QStringLiteral(OV_EXAMPLES_DIR "/mariadb/") + Name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The statement under "-- Kind" in the output of --gensql.
QString statement(const QString &Out, const QString &Kind)
{
    QStringList lines;
    bool inside = false;
    for (const QString &line : Out.split(u'\n')) {
        if (line.startsWith(QLatin1String("-- ")) || line.startsWith(QLatin1String("check:"))) {
            inside = line == QLatin1String("-- ") + Kind;
            continue;
        }
        if (inside)
            lines << line;
    }
    return lines.join(u'\n').trimmed();
}

class MySQLExampleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OV_REQUIRE_MY(server.Problem());
        server.Exec(example(QStringLiteral("mydemo.sql")));
        QFile form(folder.path() + QStringLiteral("/mydemo.dfm"));
        ASSERT_TRUE(form.open(QIODevice::WriteOnly));
        form.write(example(QStringLiteral("mydemo.dfm")).toUtf8());
        form.close();
        remote = QStringLiteral("MyDemo=") + server.Remote();
        database.SetDatabaseName(QStringLiteral("MyExampleDb"));
        server.Open(&database);
    }
    CliRun gensql(const QStringList &More)
    {
        return runOvdesigner(QStringList{QStringLiteral("--gensql"), QStringLiteral("mydemo.dfm"),
                                         QStringLiteral("usOrders"),
                                         QStringLiteral("--remote-database"), remote}
                                 + More,
                             folder.path());
    }
    // The whole table, in key order, as the server holds it.
    std::vector<QVariantList> table()
    {
        return database.Driver()
            .Execute(QStringLiteral("select * from orders order by cust_no, order_no"), {})
            .Rows;
    }
    // Runs one generated statement through a query component, its
    // parameters given by name.
    void run(const QString &SQL, const QVariantMap &Values)
    {
        TOvQuery q;
        q.SetDatabaseName(database.DatabaseName());
        q.SQL()->SetText(SQL);
        for (auto it = Values.begin(); it != Values.end(); ++it) {
            if (TParam *p = q.Params()->FindParam(it.key()))
                p->SetValue(it.value());
        }
        q.ExecSQL();
    }

    MyTestDatabase server;
    TempFolder folder;
    QString remote;
    TOvDatabase database;
};

TEST_F(MySQLExampleTest, generatedStatementsWriteExactlyTheRowTheyName)
{
    const CliRun r = gensql({QStringLiteral("--check")});
    ASSERT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("check: ok\n"))) << r.out.toStdString();
    const QString modify = statement(r.out, QStringLiteral("ModifySQL"));
    // Backticks where the server needs them; the computed column is left out.
    EXPECT_EQ(modify, QStringLiteral("update orders\n"
                                     "set\n"
                                     "  cust_no = :cust_no,\n"
                                     "  order_no = :order_no,\n"
                                     "  order_date = :order_date,\n"
                                     "  amount = :amount,\n"
                                     "  `Ship To` = :\"Ship To\",\n"
                                     "  invoice_code = :invoice_code\n"
                                     "where\n"
                                     "  cust_no = :OLD_cust_no and\n"
                                     "  order_no = :OLD_order_no"));

    const std::vector<QVariantList> before = table();
    ASSERT_EQ(before.size(), 3u);
    QVariantMap row{{QStringLiteral("cust_no"), 1},
                    {QStringLiteral("order_no"), 2},
                    {QStringLiteral("order_date"), QDate(2026, 2, 12)},
                    {QStringLiteral("amount"), 99.99},
                    {QStringLiteral("Ship To"), QString::fromUtf8("Zoë's 😀")},
                    {QStringLiteral("invoice_code"), QStringLiteral("INV-0002")},
                    {QStringLiteral("OLD_cust_no"), 1},
                    {QStringLiteral("OLD_order_no"), 2}};
    run(modify, row);
    std::vector<QVariantList> after = table();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[2], before[2]);
    EXPECT_EQ(after[1][2], QVariant(QDate(2026, 2, 12)));
    EXPECT_EQ(after[1][3], QVariant(99.99));
    EXPECT_EQ(after[1][4], QVariant(QString::fromUtf8("Zoë's 😀")));
    EXPECT_EQ(after[1][5], QVariant(119.99)); // computed by the server

    // Written back with the values read before, the table is as it was.
    for (int c : {0, 1, 2, 3, 4, 6})
        row[database.Driver()
                .Execute(QStringLiteral("select * from orders limit 0"), {})
                .Fields[c]
                .Name]
            = before[1][c];
    run(modify, row);
    EXPECT_EQ(table(), before);

    // Insert, then delete by the old key: one row more, then the same table.
    row[QStringLiteral("order_no")] = 3;
    row[QStringLiteral("invoice_code")] = QStringLiteral("INV-0009");
    run(statement(r.out, QStringLiteral("InsertSQL")), row);
    after = table();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[2][1], QVariant(3));
    run(statement(r.out, QStringLiteral("DeleteSQL")),
        {{QStringLiteral("OLD_cust_no"), 1}, {QStringLiteral("OLD_order_no"), 3}});
    EXPECT_EQ(table(), before);
}

TEST_F(MySQLExampleTest, checkReportsASchemaThatDriftedFromTheModule)
{
    ASSERT_EQ(gensql({QStringLiteral("--write")}).exit, 0);
    ASSERT_EQ(runOvdesigner({QStringLiteral("--check"), QStringLiteral("mydemo.dfm"),
                             QStringLiteral("--remote-database"), remote},
                            folder.path())
                  .exit,
              0);
    server.Exec(QStringLiteral("alter table orders rename column `Ship To` to ship_to;"
                               "drop procedure archive_orders;"));
    const CliRun r = runOvdesigner({QStringLiteral("--check"), QStringLiteral("mydemo.dfm"),
                                    QStringLiteral("--remote-database"), remote},
                                   folder.path());
    EXPECT_EQ(r.exit, 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("qOrders"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Ship To"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("archive_orders"))) << r.out.toStdString();
    // The check changed nothing: the table still has its rows.
    EXPECT_EQ(table().size(), 3u);
}

} // namespace
