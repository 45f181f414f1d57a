// Undo and redo in a large data module: one step taken back and made again
// (a component moved, a query's SQL set), and the edit that records the
// step, at 1,000 and 10,000 components. A step keeps only the components it
// changed, so its cost does not grow with the module.
#include "BenchDesigner.h"
#include "BenchMain.h"

#include "ModuleEditing.h"
#include "ModuleHistory.h"

#include "orvlib/OvDataSets.h"

#include <benchmark/benchmark.h>

namespace {

struct History
{
    explicit History(int Count)
        : designer(makeBenchDesigner(Count))
        , history(designer)
    {
        const QObjectList &all = designer->Root()->children();
        for (qsizetype i = all.size() / 2; i < all.size() && !query; ++i)
            query = qobject_cast<TOvQuery *>(all[i]);
        designer->select({query});
    }

    // A move as the surface makes it.
    void move(int Step)
    {
        setDesignPosition(query, QPoint(40 + Step % 7 * 8, 40));
        designer->notifyComponentsChanged();
    }

    TFormDesignerPtr designer;
    TModuleHistory history;
    TOvQuery *query = nullptr;
};

void Undo_Move(benchmark::State &State)
{
    History h(int(State.range(0)));
    h.move(1);
    for (auto _ : State) {
        h.history.undo();
        h.history.redo();
    }
}

void Undo_SetSQL(benchmark::State &State)
{
    History h(int(State.range(0)));
    h.query->SQL()->SetText(QStringLiteral("select *\nfrom Orders\nwhere OrderNo > 10"));
    h.designer->Modified();
    for (auto _ : State) {
        h.history.undo();
        h.history.redo();
    }
}

// The edit itself with the step it records.
void Undo_RecordMove(benchmark::State &State)
{
    History h(int(State.range(0)));
    int step = 0;
    for (auto _ : State)
        h.move(++step);
}

} // namespace

BENCHMARK(Undo_Move)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Undo_SetSQL)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Undo_RecordMove)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return runBenchmarks(
        argc, argv,
        {{"undo and redo of a move, 10,000 / 1,000 components", "Undo_Move/10000", "Undo_Move/1000",
          2.0},
         {"undo and redo of a SQL change, 10,000 / 1,000 components", "Undo_SetSQL/10000",
          "Undo_SetSQL/1000", 2.0},
         {"a move and its undo step, 10,000 / 1,000 components", "Undo_RecordMove/10000",
          "Undo_RecordMove/1000", 2.0}},
        {},
        // Inside one frame of the user interface.
        {{"undo and redo of a move, 10,000 components", "Undo_Move/10000", 16.0},
         {"undo and redo of a SQL change, 10,000 components", "Undo_SetSQL/10000", 16.0},
         {"a move and its undo step, 10,000 components", "Undo_RecordMove/10000", 16.0}},
        true);
}
