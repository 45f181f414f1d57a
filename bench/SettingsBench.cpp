// Loading a long recent-database list from the design settings' ini file,
// against reading and splitting the same file with Qt alone.
#include "BenchMain.h"
#include "OvDesignSettings.h"

#include "rtl/Classes.h"
#include "rtl/Registry.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

// One folder per list length: a registry store naming it, and an ini file
// whose recent list holds Count entries (MaxCount = Count).
class RecentListFile
{
public:
    static RecentListFile &of(int Count)
    {
        static std::map<int, std::unique_ptr<RecentListFile>> files;
        auto &file = files[Count];
        if (!file)
            file.reset(new RecentListFile(Count));
        TRegistry::setStorePathOverride(file->dir.filePath("registry"));
        return *file;
    }

    QTemporaryDir dir;
    QString ini;

private:
    explicit RecentListFile(int Count)
    {
        ini = dir.filePath("orvlib.ini");
        QByteArray text = "[SQLEditor]\nEnabled=1\n[RecentDatabases]\nMaxCount="
                          + QByteArray::number(Count) + "\n";
        for (int i = 0; i < Count; ++i)
            text += QString::asprintf("Item%.2d=host%d.example:5432/database_%d\n", i, i % 97, i)
                        .toUtf8();
        text += "[TOvDatabase]\nServerType=SQLite\n";
        QFile file(ini);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        QFile registry(dir.filePath("registry"));
        registry.open(QIODevice::WriteOnly);
        registry.write("[Software\\Orvanta]\nRootDir=" + dir.path().toUtf8() + "\n");
    }
};

// A fresh settings object and the first read of RecentDatabases: the load
// the package does the first time the history is shown.
void Settings_LoadRecentList(benchmark::State &State)
{
    const int count = int(State.range(0));
    RecentListFile::of(count);
    for (auto _ : State) {
        TDesignSettings settings;
        benchmark::DoNotOptimize(settings.RecentDatabases()->Count());
        if (settings.RecentDatabases()->Count() != count)
            State.SkipWithError("the list did not load whole");
    }
}

// The floor: read the file and split it into lines with Qt.
void Raw_ReadAndSplit(benchmark::State &State)
{
    const RecentListFile &file = RecentListFile::of(int(State.range(0)));
    for (auto _ : State) {
        QFile f(file.ini);
        f.open(QIODevice::ReadOnly);
        const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
        benchmark::DoNotOptimize(lines.size());
    }
}

} // namespace

BENCHMARK(Settings_LoadRecentList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(Raw_ReadAndSplit)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks(
        argc, argv,
        {// Linear: ten times the entries take at most ten times as long (with slack).
         {"recent list load 10000 / 1000 entries (x10)", "Settings_LoadRecentList/10000",
          "Settings_LoadRecentList/1000", 10 * 1.6},
         // One read and one parse of the file: a parse keeps every line's
         // bytes and classifies it, some tens of times a plain split; a read
         // per entry would be thousands of times.
         {"recent list load / read and split, 10000 entries", "Settings_LoadRecentList/10000",
          "Raw_ReadAndSplit/10000", 40.0}},
        {},
        // Inside one frame at a hundred times the default list of eight.
        {{"recent list load, 1000 entries", "Settings_LoadRecentList/1000", 16.0}});
}
