#include "BenchModule.h"
#include "BenchMain.h"

#include "OvReg.h"

#include "designide/Registrations.h"
#include "designide/Sprigs.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

std::unique_ptr<TDataModule> makeDataModule(int Count)
{
    auto root = std::make_unique<TDataModule>();
    root->setObjectName("BigModule");
    QObject *owner = root.get();
    const int sessions = std::max(1, Count / 100);
    const int databases = std::max(2, Count / 10);
    const int updates = Count * 4 / 100;
    const int dataSets = Count - sessions - databases - updates;
    const auto sessionOf = [sessions](int Database) {
        return Database % 10 == 0 ? QString() : QString("s%1").arg(Database % sessions);
    };
    std::vector<std::function<void()>> creators;
    for (int i = 0; i < sessions; ++i)
        creators.push_back([owner, i] {
            auto *s = new TOvSession(owner);
            s->setObjectName(QString("Session%1").arg(i));
            s->SetSessionName(QString("S%1").arg(i));
        });
    for (int i = 0; i < databases; ++i)
        creators.push_back([owner, i, sessionOf] {
            auto *d = new TOvDatabase(owner);
            d->setObjectName(QString("Database%1").arg(i));
            d->SetDatabaseName(QString("DB%1").arg(i));
            d->SetSessionName(sessionOf(i));
            d->SetRemoteDatabase(QString("/data/db%1.sqlite").arg(i));
        });
    for (int i = 0; i < dataSets; ++i)
        creators.push_back([owner, i, databases, sessionOf] {
            TOvDataSet *ds;
            switch (i % 3) {
            case 0:
                ds = new TOvTable(owner);
                static_cast<TOvTable *>(ds)->SetTableName(QString("T%1").arg(i));
                break;
            case 1:
                ds = new TOvQuery(owner);
                static_cast<TOvQuery *>(ds)->SQL()->Add(QString("select * from T%1").arg(i));
                static_cast<TOvQuery *>(ds)->SQL()->Add("where ID = :ID");
                break;
            default:
                ds = new TOvStoredProc(owner);
                static_cast<TOvStoredProc *>(ds)->SetStoredProcName(QString("P%1").arg(i));
            }
            ds->setObjectName(QString("DataSet%1").arg(i));
            const int database = i % databases;
            ds->SetSessionName(sessionOf(database));
            ds->SetDatabaseName(i % 10 == 9 ? QString("Missing%1").arg(database)
                                            : QString("DB%1").arg(database));
        });
    for (int i = 0; i < updates; ++i)
        creators.push_back([owner, i] {
            auto *u = new TOvUpdateSQL(owner);
            u->setObjectName(QString("Update%1").arg(i));
            u->ModifySQL()->Add("update T set A = :A");
        });
    std::shuffle(creators.begin(), creators.end(), std::mt19937(12));
    for (const auto &create : creators)
        create();
    return root;
}

QList<QObject *> pickDataSetAndDatabase(QObject *Root)
{
    const qsizetype count = Root->children().size();
    return {
        Root->findChild<QObject *>(QString("DataSet%1").arg(count / 4), Qt::FindDirectChildrenOnly),
        Root->findChild<QObject *>(QString("Database%1").arg(count / 20),
                                   Qt::FindDirectChildrenOnly)};
}

void registerPackage()
{
    static const bool registered = [] {
        registrations().clear();
        Register();
        return true;
    }();
    (void)registered;
}

namespace {

int countNodes(const TSprig &Node)
{
    int n = 1;
    for (const TSprig *child : Node.Children())
        n += countNodes(*child);
    return n;
}

} // namespace

// The tree of a module built from cold caches. Counting and freeing the
// nodes are not the build (a rebuild below pays for discarding the old
// tree).
double buildTreeOnce(int Count)
{
    const ModuleFixture &module = keptFixture<ModuleFixture>(Count);
    evictCaches();
    const double start = steadySeconds();
    auto root = std::make_unique<TRootSprig>(module.root.get());
    root->AddItems(module.components);
    const double seconds = steadySeconds() - start;
    if (countNodes(*root) < module.components.size())
        throw std::runtime_error("components left out of the tree");
    root.reset();
    finishFrees();
    return seconds;
}
