// The UpdateSQL editor's three actions on a wide table, through the form
// without showing it: Get Table Fields, Select Primary Keys and Generate SQL.
#include "BenchMain.h"
#include "OvUpdSEd.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"

#include <QComboBox>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// A database with one table of Columns columns, a two-column primary key
// and a unique index; a query on it and an update object serving the query.
struct WideTableSetup
{
    explicit WideTableSetup(int Columns)
    {
        const QString table = QString("WIDE_%1").arg(Columns);
        database.SetDatabaseName(table + "_DB");
        database.SetServerType(TOvServerType::stSQLite);
        database.SetRemoteDatabase(dir.filePath("wide.db"));
        database.Params()->Add("CREATE=TRUE");
        database.SetConnected(true);
        QStringList columns;
        for (int c = 0; c < Columns; ++c)
            columns << QString("COL_%1 integer").arg(c);
        database.ExecSQL(QString("create table %1 (%2, primary key (COL_0, COL_1))")
                             .arg(table, columns.join(", ")));
        database.ExecSQL(QString("create unique index %1_U on %1 (COL_5)").arg(table));

        query.SetDatabaseName(database.DatabaseName());
        query.SQL()->SetText("select * from " + table);
        updateSQL.setObjectName("UpdateSQL1");
        query.SetUpdateObject(&updateSQL);

        form.SetUpdateSQL(&updateSQL);
        form.InitProperties();
        form.cbTableName->setEditText(table);
    }

    QTemporaryDir dir;
    TOvDatabase database;
    TOvQuery query;
    TOvUpdateSQL updateSQL;
    TOvUpdateSQLEditForm form;
};

void UpdateSQLEditor_FieldsKeysGenerate(benchmark::State &State)
{
    const int columns = int(State.range(0));
    WideTableSetup setup(columns);
    TOvUpdateSQLEditForm &form = setup.form;
    for (auto _ : State) {
        form.GetTableFieldsClick();
        form.btSelectPrimKeysClick();
        form.GenerateSQLClick();
    }
    if (form.lbKeyFields->count() != columns || form.lbKeyFields->selectedItems().size() != 2)
        State.SkipWithError("the editor did not find the columns and the primary key");
}

} // namespace

// 9 runs of each size, interleaved, their median counting.
BENCHMARK(UpdateSQLEditor_FieldsKeysGenerate)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.1)
    ->Repetitions(9);

int main(int argc, char **argv)
{
    return runBenchmarks(
        argc, argv,
        // Linear: ten times the columns take at most ten times as long (with slack).
        {{"UpdateSQL editor 1000 / 100 columns (x10)", "UpdateSQLEditor_FieldsKeysGenerate/1000",
          "UpdateSQLEditor_FieldsKeysGenerate/100", 11.0}},
        {},
        // Inside one frame, with room to spare.
        {{"UpdateSQL editor, 1000 columns", "UpdateSQLEditor_FieldsKeysGenerate/1000", 16.0}},
        /*Interleaved=*/true);
}
