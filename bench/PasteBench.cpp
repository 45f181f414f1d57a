// Pasting components whose references name components that are nowhere
// (copied from another module): 10,000 such references against 1,000. The
// text is read once, whatever it refers to, so the cost grows with the text.
#include "BenchDesigner.h"
#include "BenchMain.h"
#include "ModuleEditing.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"

#include <benchmark/benchmark.h>

#include <stdexcept>

namespace {

QString danglingText(int Count)
{
    QString text;
    for (int i = 0; i < Count; ++i)
        text += QStringLiteral("object dsCopied%1: TDataSource\n  DataSet = qElsewhere%1\nend\n")
                    .arg(i);
    return text;
}

// The text of Count such components, made once per size.
struct DanglingText
{
    explicit DanglingText(int Count)
        : text(danglingText(Count))
    {}
    QString text;
};

// Each paste goes into an empty module from emptied caches, as after the
// person's copy elsewhere: a text of 1,000 components would otherwise stay
// in the processor's cache from one run to the next, and one of 10,000
// would not. Freeing the module is not pasting.
double pasteOnce(int Count)
{
    const QString &text = keptFixture<DanglingText>(Count).text;
    auto designer = makeBenchDesigner(0);
    evictCaches();
    const double start = steadySeconds();
    const QList<QObject *> pasted = pasteComponentsText(*designer, text);
    const double seconds = steadySeconds() - start;
    if (pasted.size() != Count)
        throw std::runtime_error("not every component was pasted");
    designer.reset();
    finishFrees();
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    // The pasted data sources are of a class the host registers, as the
    // designer does at start.
    RegisterClasses({&TDataSource::staticMetaObject});
    keepFreedMemory();
    // A small and a large paste back to back in each repetition, the
    // median of the pairs' ratios counting: a drift of the machine's speed
    // falls on both.
    timeInTurns("Paste_DanglingReferences", 1000, 10000, pasteOnce)->Unit(benchmark::kMillisecond);
    // Linear: ten times the references, at most twelve times the time.
    return runBenchmarks(
        argc, argv,
        {{"paste: 10k / 1k dangling references", "Paste_DanglingReferences@ratio", "", 12}}, {}, {},
        true);
}
