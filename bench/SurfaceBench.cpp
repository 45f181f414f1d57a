// The data-module surface with a large module: painting the visible part,
// selecting one component (with the repaint it causes), and the rebuild
// after a component is added, at 1,000 and 10,000 components.
#include "BenchMain.h"
#include "BenchModule.h"
#include "FormDesigner.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvUpdateSQL.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const QList<TComponentClass> Classes
    = {&TOvQuery::staticMetaObject, &TOvTable::staticMetaObject, &TOvUpdateSQL::staticMetaObject,
       &TOvScript::staticMetaObject, &TDataSource::staticMetaObject};

// Count components on a grid of 100 columns, as a generated module has them.
TFormDesignerPtr makeDesigner(int Count)
{
    RegisterClasses(Classes);
    auto root = std::make_unique<TDataModule>();
    root->setObjectName(QStringLiteral("Big"));
    for (int i = 0; i < Count; ++i) {
        QObject *c = Classes[i % Classes.size()]->newInstance(Q_ARG(QObject *, root.get()));
        c->setObjectName(QStringLiteral("C%1").arg(i));
        setDesignPosition(c, QPoint(8 + (i % 100) * 88, 8 + (i / 100) * 56));
    }
    return std::make_shared<TFormDesigner>(std::move(root));
}

struct Surface
{
    explicit Surface(int Count)
        : designer(makeDesigner(Count))
    {
        surface.resize(1000, 700);
        surface.setDesigner(designer);
        image = QImage(surface.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    }
    ~Surface() { surface.setDesigner(nullptr); }
    void paint()
    {
        QPainter p(&image);
        surface.viewport()->render(&p);
    }

    TFormDesignerPtr designer;
    TModuleSurface surface;
    QImage image;
};

// The visible part painted: about a hundred components, whatever the module.
void Surface_Paint(benchmark::State &State)
{
    Surface s(int(State.range(0)));
    for (auto _ : State)
        s.paint();
}

// A click's worth: one component selected, the surface repainted.
void Surface_SelectAndPaint(benchmark::State &State)
{
    Surface s(int(State.range(0)));
    const QList<QObject *> shown = surfaceComponents(s.designer->Root());
    int turn = 0;
    for (auto _ : State) {
        s.designer->select({shown[turn++ % 2]});
        s.paint();
    }
}

// The surface after a change to the set of components (a rename, an add,
// a move): the whole list is read again. Each rebuild is timed from emptied
// caches, at 1,000 components as at 10,000: it follows a person's edit,
// after which the caches hold other things (a small module would otherwise
// stay in the caches between timed runs and be measured warm, a large one
// cold).
double rebuildOnce(int Count)
{
    Surface &s = keptFixture<Surface>(Count);
    evictCaches();
    const double start = steadySeconds();
    emit s.designer->componentsChanged();
    return steadySeconds() - start;
}

} // namespace

BENCHMARK(Surface_Paint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Surface_SelectAndPaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
int main(int argc, char **argv)
{
    keepFreedMemory();
    timeInTurns("Surface_Rebuild", 1000, 10000, rebuildOnce)->Unit(benchmark::kMicrosecond);
    return runBenchmarks(
        argc, argv,
        // Only the visible components are drawn.
        {{"surface paint, 10,000 / 1,000 components", "Surface_Paint/10000", "Surface_Paint/1000",
          2.0},
         {"surface select and paint, 10,000 / 1,000 components", "Surface_SelectAndPaint/10000",
          "Surface_SelectAndPaint/1000", 2.0},
         // Reading the components again walks every one of them: linear.
         {"surface rebuild, 10,000 / 1,000 components", "Surface_Rebuild@ratio", "", 12.0}},
        {},
        // Inside one frame of the user interface.
        {{"surface paint, 10,000 components", "Surface_Paint/10000", 16.0},
         {"surface select and paint, 10,000 components", "Surface_SelectAndPaint/10000", 16.0},
         {"surface rebuild, 10,000 components", "Surface_Rebuild@large", 16.0}},
        /*Interleaved=*/true);
}
