// Pasting components whose references name components that are nowhere
// (copied from another module): 10,000 such references against 1,000. The
// text is read once, whatever it refers to, so the cost grows with the text.
#include "BenchDesigner.h"
#include "BenchMain.h"
#include "ModuleEditing.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"

#include <benchmark/benchmark.h>

namespace {

QString danglingText(int Count)
{
    QString text;
    for (int i = 0; i < Count; ++i)
        text += QStringLiteral("object dsCopied%1: TDataSource\n  DataSet = qElsewhere%1\nend\n")
                    .arg(i);
    return text;
}

// Each paste goes into an empty module from emptied caches, as after the
// person's copy elsewhere: a text of 1,000 components would otherwise stay
// in the processor's cache from one run to the next, and one of 10,000
// would not.
void Paste_DanglingReferences(benchmark::State &State)
{
    const int count = int(State.range(0));
    const QString text = danglingText(count);
    for (auto _ : State) {
        State.PauseTiming();
        auto designer = makeBenchDesigner(0);
        evictCaches();
        State.ResumeTiming();
        const QList<QObject *> pasted = pasteComponentsText(*designer, text);
        // Freeing the module is not pasting (see FormRead in formfile_bench).
        State.PauseTiming();
        if (pasted.size() != count)
            State.SkipWithError("not every component was pasted");
        designer.reset();
        benchmark::DoNotOptimize(std::make_unique<char[]>(64 * 1024));
        State.ResumeTiming();
    }
}

} // namespace

BENCHMARK(Paste_DanglingReferences)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Apply(medianOfSingleRuns);

int main(int argc, char **argv)
{
    // The pasted data sources are of a class the host registers, as the
    // designer does at start.
    RegisterClasses({&TDataSource::staticMetaObject});
    keepFreedMemory();
    // Linear: ten times the references, at most twelve times the time.
    return runBenchmarks(argc, argv,
                         {{"paste: 10k / 1k dangling references", "Paste_DanglingReferences/10000",
                           "Paste_DanglingReferences/1000", 12}},
                         {}, {}, true);
}
