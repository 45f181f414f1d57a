// The structure view and the code editor on large inputs: building and
// rebuilding the structure pane of a data module of 1,000 and 10,000
// components (against the node tree alone), following a selection, and
// colouring SQL after an edit in texts of 1,000 and 10,000 lines.
#include "BenchDesigner.h"
#include "BenchMain.h"

#include "SqlHighlighter.h"
#include "StructurePane.h"

#include "designide/FormFile.h"
#include "designide/Sprigs.h"
#include "orvlib/OvDataSets.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <vector>

namespace {

// This program's processor time in seconds: the work a case does, which
// other programs sharing the machine do not lengthen.
double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A module opened in the pane: the tree built, the branches in view open,
// and the first frame painted (offscreen raster), right after the module
// was made, as after reading its file. The processor time of the open is
// kept as counter "cpu" (seconds): the frame budget holds it, whatever else
// the machine runs. Closing is not timed.
void StructurePane_Open(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    TStructurePane pane;
    pane.resize(360, 600);
    double cpu = 0;
    for (auto _ : State) {
        const double start = processSeconds();
        pane.setDesigner(designer);
        benchmark::DoNotOptimize(pane.grab());
        cpu += processSeconds() - start;
    }
    State.counters["cpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    pane.setDesigner(nullptr);
}

// A pane showing a module, one component selected.
struct OpenPane
{
    explicit OpenPane(int Count)
        : designer(makeBenchDesigner(Count))
    {
        pane.resize(360, 600);
        pane.setDesigner(designer);
        designer->select(
            {designer->Root()->children().at(designer->Root()->children().size() / 2)});
    }
    ~OpenPane() { pane.setDesigner(nullptr); }
    TFormDesignerPtr designer;
    TStructurePane pane;
};

// A value changed: the tree rebuilt, the view following it in place, from
// cold caches.
double rebuildOnce(int Count)
{
    OpenPane &open = keptFixture<OpenPane>(Count);
    evictCaches();
    const double start = steadySeconds();
    open.designer->Modified();
    return steadySeconds() - start;
}

// The designer selects one component: the pane's selection follows.
void StructurePane_SelectOne(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    TStructurePane pane;
    pane.resize(360, 600);
    pane.setDesigner(designer);
    const QList<QObject *> two = pickDataSetAndDatabase(designer->Root());
    int turn = 0;
    for (auto _ : State)
        designer->select({two[turn++ % 2]});
    pane.setDesigner(nullptr);
}

// The same with the pane painted after each selection (offscreen raster).
void StructurePane_SelectAndPaint(benchmark::State &State)
{
    TFormDesignerPtr designer = makeBenchDesigner(static_cast<int>(State.range(0)));
    TStructurePane pane;
    pane.resize(360, 600);
    pane.setDesigner(designer);
    const QList<QObject *> two = pickDataSetAndDatabase(designer->Root());
    int turn = 0;
    for (auto _ : State) {
        designer->select({two[turn++ % 2]});
        benchmark::DoNotOptimize(pane.grab());
    }
    pane.setDesigner(nullptr);
}

// One keystroke in the middle of a SQL text of Lines lines, coloured. The
// text opens with a comment longer than its other lines: shrinking the one
// longest line makes the editor's layout measure every line for the next
// longest, whatever the colouring costs.
void SqlHighlighter_Keystroke(benchmark::State &State)
{
    QPlainTextEdit edit;
    auto *highlighter = new TSqlHighlighter(edit.document());
    QStringList lines{QStringLiteral("-- ") + QString(100, u'=')};
    for (int i = 1; i < State.range(0); ++i)
        lines << QStringLiteral("select a%1, 'x' from t where b = :p%1 -- line").arg(i);
    edit.setPlainText(lines.join('\n'));
    QTextCursor cursor(edit.document()->findBlockByNumber(static_cast<int>(State.range(0) / 2)));
    for (auto _ : State) {
        cursor.insertText(QStringLiteral("x"));
        cursor.deletePreviousChar();
    }
    benchmark::DoNotOptimize(highlighter->lexCount());
}

} // namespace

// A first open counts with the median of 41 single opens of each size,
// interleaved: one busy stretch of the machine spoils a few of them only.
BENCHMARK(StructurePane_Open)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(41);
BENCHMARK(StructurePane_SelectOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StructurePane_SelectAndPaint)->Arg(10000)->Unit(benchmark::kMicrosecond);
// A keystroke is short: 5 runs of each size, interleaved, their median counting.
BENCHMARK(SqlHighlighter_Keystroke)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5);

int main(int argc, char **argv)
{
    // The node tree alone (what the environment's tree costs without a
    // view) and the pane's rebuild, each size in turns with the other.
    timeInTurns("Sprigs_Build", 1000, 10000, buildTreeOnce)->Unit(benchmark::kMillisecond);
    timeInTurns("StructurePane_Rebuild", 1000, 10000, rebuildOnce)->Unit(benchmark::kMillisecond);
    return runBenchmarks(
        argc, argv,
        {// The view follows a rebuild of the node tree in place: a value change
         // costs the rebuild and one walk over the rows.
         {"structure rebuild / node tree, 10,000 components", "StructurePane_Rebuild@large",
          "Sprigs_Build@large", 1.3},
         // Linear, with the node tree's own bound (sprigs_bench): its
         // rebuild from cold caches is a walk over every component.
         {"structure rebuild, 10,000 / 1,000 components", "StructurePane_Rebuild@ratio", "", 13.0},
         // Following a selection does not depend on the module's size.
         {"structure select one, 10,000 / 1,000 components", "StructurePane_SelectOne/10000",
          "StructurePane_SelectOne/1000", 3.0},
         // A keystroke colours the line it changes, whatever the text's length.
         {"SQL keystroke, 10,000 / 1,000 lines", "SqlHighlighter_Keystroke/10000",
          "SqlHighlighter_Keystroke/1000", 1.5}},
        {},
        {{"structure open, 10,000 components (processor)", "StructurePane_Open/10000@cpu", 16.0},
         {"structure rebuild, 10,000 components", "StructurePane_Rebuild@large", 16.0},
         {"structure select one, 10,000 components", "StructurePane_SelectOne/10000", 16.0},
         {"structure select and paint, 10,000 components", "StructurePane_SelectAndPaint/10000",
          16.0},
         {"SQL keystroke, 10,000 lines", "SqlHighlighter_Keystroke/10000", 16.0}},
        /*Interleaved=*/true);
}
