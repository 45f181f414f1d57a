// Undo and redo in a large data module: one step taken back and made again
// (a component moved, a query's SQL set), and the edit that records the
// step, at 1,000 and 10,000 components. A step keeps only the components it
// changed, so its cost does not grow with the module. Then the large steps
// a person waits for at 10,000 components: a delete of 2,000 taken back and
// made again, and a sequence of 60 random edits undone and redone whole.
#include "BenchDesigner.h"
#include "BenchMain.h"

#include "ModuleEditing.h"
#include "ModuleHistory.h"

#include "common/RandomModuleEdits.h"
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

// Every fifth component of 10,000 deleted in one step; Undo times its undo
// (the redo between runs untimed), else its redo.
void Undo_Delete2000(benchmark::State &State)
{
    const bool undo = State.range(0) != 0;
    History h(10000);
    QList<QObject *> doomed;
    const QList<QObject *> all = surfaceComponents(h.designer->Root());
    for (qsizetype i = 0; i < all.size() && doomed.size() < 2000; i += 5)
        doomed.append(all[i]);
    h.designer->select(doomed);
    deleteSelection(*h.designer);
    for (auto _ : State) {
        if (!undo) {
            State.PauseTiming();
            h.history.undo();
            State.ResumeTiming();
        }
        undo ? h.history.undo() : h.history.redo();
        if (undo) {
            State.PauseTiming();
            h.history.redo();
            State.ResumeTiming();
        }
    }
}

// 60 random edits (add, delete, rename, link, paste, move) in a module of
// 10,000 components, all undone (Undo) or all redone.
void Undo_Sequence60(benchmark::State &State)
{
    const bool undo = State.range(0) != 0;
    History h(10000);
    TRandomModuleEdits edits(*h.designer, 7);
    for (int step = 1; step <= 60; ++step)
        edits.edit(step);
    auto all = [&](bool Undo) {
        while (Undo ? h.history.canUndo() : h.history.canRedo())
            Undo ? h.history.undo() : h.history.redo();
    };
    for (auto _ : State) {
        if (!undo) {
            State.PauseTiming();
            all(true);
            State.ResumeTiming();
        }
        all(undo);
        if (undo) {
            State.PauseTiming();
            all(false);
            State.ResumeTiming();
        }
    }
}

} // namespace

BENCHMARK(Undo_Delete2000)
    ->ArgName("undo")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Undo_Sequence60)
    ->ArgName("undo")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
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
         {"a move and its undo step, 10,000 components", "Undo_RecordMove/10000", 16.0},
         // What a person waits for, with a busy cursor: well under half a second.
         {"undo of deleting 2,000 of 10,000 components", "Undo_Delete2000/undo:1", 500.0},
         {"redo of deleting 2,000 of 10,000 components", "Undo_Delete2000/undo:0", 500.0},
         {"undo of 60 random edits, 10,000 components", "Undo_Sequence60/undo:1", 500.0},
         {"redo of 60 random edits, 10,000 components", "Undo_Sequence60/undo:0", 500.0}},
        true);
}
