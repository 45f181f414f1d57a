// Reading and writing form files of many components: a data module with
// databases, queries (SQL, a parameter, an update object), tables, data
// sources and update objects with statements, as the designer stores them.
#include "BenchMain.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void registerClasses()
{
    RegisterClasses({&TOvDatabase::staticMetaObject, &TOvQuery::staticMetaObject,
                     &TOvTable::staticMetaObject, &TOvUpdateSQL::staticMetaObject,
                     &TDataSource::staticMetaObject});
}

// A data module of Count components, five kinds in turn.
std::unique_ptr<QObject> makeForm(int Count)
{
    registerClasses();
    auto root = std::make_unique<TDataModule>();
    root->setObjectName(QStringLiteral("Big"));
    TOvQuery *lastQuery = nullptr;
    TOvTable *lastTable = nullptr;
    for (int i = 0; i < Count; ++i) {
        const QString db = QStringLiteral("DB%1").arg(i / 100);
        QObject *c = nullptr;
        switch (i % 5) {
        case 0: {
            if (i % 100 == 0) {
                auto *d = new TOvDatabase(root.get());
                d->SetDatabaseName(db);
                d->SetRemoteDatabase(QStringLiteral("data/%1.db").arg(db));
                c = d;
                break;
            }
            auto *t = new TOvTable(root.get());
            t->SetDatabaseName(db);
            t->SetTableName(QStringLiteral("TABLE_%1").arg(i));
            lastTable = t;
            c = t;
            break;
        }
        case 1: {
            auto *q = new TOvQuery(root.get());
            q->SetDatabaseName(db);
            q->SQL()->SetText(
                QStringLiteral("select ID, NAME, AMOUNT as TOTAL\nfrom T%1\nwhere ID = :ID")
                    .arg(i));
            lastQuery = q;
            c = q;
            break;
        }
        case 2: {
            auto *u = new TOvUpdateSQL(root.get());
            u->ModifySQL()->SetText(
                QStringLiteral(
                    "update T%1\nset\n  NAME = :NAME,\n  AMOUNT = :TOTAL\nwhere\n  ID = :OLD_ID")
                    .arg(i));
            u->RefreshSQL()->Add(QStringLiteral("select NAME, AMOUNT as TOTAL\r\nfrom T%1").arg(i));
            if (lastQuery)
                lastQuery->SetUpdateObject(u);
            c = u;
            break;
        }
        case 3: {
            auto *s = new TDataSource(root.get());
            s->SetDataSet(lastTable);
            c = s;
            break;
        }
        default: {
            auto *t = new TOvTable(root.get());
            t->SetDatabaseName(db);
            t->SetTableName(QStringLiteral("DETAIL_%1").arg(i));
            t->SetMasterFields(QStringLiteral("ID"));
            c = t;
            break;
        }
        }
        c->setObjectName(QStringLiteral("C%1").arg(i));
        c->setProperty("Left", 8 * (i % 40));
        c->setProperty("Top", 8 * (i / 40));
    }
    return root;
}

// A module of Count components and its text, made once per size.
struct Form
{
    explicit Form(int Count)
        : root(makeForm(Count))
        , text(WriteFormText(root.get()))
    {}
    std::unique_ptr<QObject> root;
    QString text;
};

// Each write and read starts from emptied caches, as after the person's
// other work: a module of 1,000 components and its text would otherwise
// stay in the processor's cache from one run to the next, and one of 10,000
// would not, and the ratio would measure the cache's size. A write and a
// read of each size are timed in turns, so a busy stretch of the machine
// falls on both sizes of a pair.

double writeOnce(int Count)
{
    const Form &form = keptFixture<Form>(Count);
    evictCaches();
    const double start = steadySeconds();
    QString text = WriteFormText(form.root.get());
    const double seconds = steadySeconds() - start;
    benchmark::DoNotOptimize(text.constData());
    return seconds;
}

double readOnce(int Count)
{
    const Form &form = keptFixture<Form>(Count);
    evictCaches();
    const double start = steadySeconds();
    std::unique_ptr<QObject> root = TFormReader(form.text).Read();
    const double seconds = steadySeconds() - start;
    benchmark::DoNotOptimize(root.get());
    // Freeing the module is not reading it.
    root.reset();
    finishFrees();
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    keepFreedMemory();
    timeInTurns("FormWrite", 1000, 10000, writeOnce)->Unit(benchmark::kMillisecond);
    timeInTurns("FormRead", 1000, 10000, readOnce)->Unit(benchmark::kMillisecond);
    return runBenchmarks(argc, argv,
                         // Linear: ten times the components take at most twelve times as long.
                         {{"form write 10000 / 1000 components (x10)", "FormWrite@ratio", "", 12.0},
                          {"form read 10000 / 1000 components (x10)", "FormRead@ratio", "", 12.0}},
                         {},
                         {{"form write, 10000 components", "FormWrite@large", 1000.0},
                          {"form read, 10000 components", "FormRead@large", 1000.0}},
                         /*Interleaved=*/true);
}
