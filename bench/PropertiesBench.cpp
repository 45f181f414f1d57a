// The Object Inspector on a large data module: selecting one component and
// refreshing the rows (the inspector model alone, and the pane with its item
// model following the designer), at 1,000 and 10,000 components.
#include "BenchMain.h"
#include "BenchDesigner.h"

#include "PropertiesPane.h"

#include "designide/FormFile.h"
#include "designide/PropertyGridModel.h"
#include "orvlib/OvDataSets.h"

#include <QObject>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void Inspector_SelectOne(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    const QList<QObject *> two = pickDataSetAndDatabase(designer->Root());
    TObjectInspectorModel model;
    int turn = 0;
    qsizetype shown = 0;
    for (auto _ : State) {
        model.setSelection(designer, {two[turn++ % 2]});
        for (int i = 0; i < model.rowCount(); ++i)
            shown += model.row(i)->value().size();
    }
    benchmark::DoNotOptimize(shown);
    if (model.rowCount() == 0)
        State.SkipWithError("no rows shown");
}

// The refresh after a change: every row read again.
void Inspector_Refresh(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    TObjectInspectorModel model;
    model.setSelection(designer, {pickDataSetAndDatabase(designer->Root()).first()});
    for (auto _ : State)
        model.refresh();
}

// The designer selects; the pane follows (inspector model, item model reset,
// the view's rows and values read as a paint would read them).
void InspectorPane_SelectOne(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    const QList<QObject *> two = pickDataSetAndDatabase(designer->Root());
    TInspectorPane pane;
    pane.resize(360, 600);
    pane.setDesigner(designer);
    int turn = 0;
    qsizetype shown = 0;
    for (auto _ : State) {
        designer->select({two[turn++ % 2]});
        TInspectorItemModel &items = pane.itemModel();
        for (int i = 0; i < items.rowCount(); ++i)
            shown += items.index(i, 1).data().toString().size();
    }
    benchmark::DoNotOptimize(shown);
    pane.setDesigner(nullptr);
}

// The same, with the pane painted after each selection (offscreen raster).
void InspectorPane_SelectAndPaint(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    const QList<QObject *> two = pickDataSetAndDatabase(designer->Root());
    TInspectorPane pane;
    pane.resize(360, 600);
    pane.setDesigner(designer);
    int turn = 0;
    for (auto _ : State) {
        designer->select({two[turn++ % 2]});
        benchmark::DoNotOptimize(pane.grab());
    }
    pane.setDesigner(nullptr);
}

// Select all datasets of a thousand (a rubber band over a large area): the
// shared rows of many components.
void Inspector_SelectMany(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(10000);
    QList<QObject *> many;
    for (QObject *c : designer->Root()->children())
        if (qobject_cast<TOvDataSet *>(c) && many.size() < State.range(0))
            many << c;
    TObjectInspectorModel model;
    for (auto _ : State)
        model.setSelection(designer, many);
    if (model.rowCount() == 0)
        State.SkipWithError("no shared rows");
}

} // namespace

BENCHMARK(Inspector_SelectOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Inspector_Refresh)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(InspectorPane_SelectOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(InspectorPane_SelectAndPaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Inspector_SelectMany)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return runBenchmarks(
        argc, argv,
        // Selecting one component does not depend on the size of the module.
        {{"inspector select one, 10,000 / 1,000 components", "Inspector_SelectOne/10000",
          "Inspector_SelectOne/1000", 2.0},
         {"inspector pane select one, 10,000 / 1,000 components", "InspectorPane_SelectOne/10000",
          "InspectorPane_SelectOne/1000", 2.0},
         // Shared rows of many components grow linearly with the selection.
         {"inspector select 1,000 / 100 datasets", "Inspector_SelectMany/1000",
          "Inspector_SelectMany/100", 12.0}},
        {},
        // Inside one frame of the user interface.
        {{"inspector select one, 10,000 components", "Inspector_SelectOne/10000", 16.0},
         {"inspector refresh, 10,000 components", "Inspector_Refresh/10000", 16.0},
         {"inspector pane select one, 10,000 components", "InspectorPane_SelectOne/10000", 16.0},
         {"inspector pane select and paint, 10,000 components",
          "InspectorPane_SelectAndPaint/10000", 16.0},
         {"inspector select 1,000 datasets", "Inspector_SelectMany/1000", 16.0}});
}
