// Runs a fuzz target without libFuzzer: every file of the seed corpus, then a
// fixed series of mutations of each (the same on every run), so the normal
// build checks the same properties the fuzzer does. The mutations splice in
// pieces of the inputs our parsers read: ini files and SQL text.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size);

namespace {

void run(const QByteArray &Input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(Input.constData()),
                           static_cast<size_t>(Input.size()));
}

QByteArray mutate(QByteArray Input, QRandomGenerator &Rng)
{
    static const char *const pieces[]
        = {"\n",   "\r\n",   "\r",      "[",       "]",      "=",          ";",
           "#",    "\"",     "'",       " ",       "\t",     "|",          "\xEF\xBB\xBF",
           "\xC3", "\xFF",   "0",       "0x",      "-",      "[S]\nk=v\n", "--",
           "/*",   "*/",     "(",       ")",       ",",      ".",          "`",
           " as ", " from ", "select ", " join ",  " on ",   " where ",    "*",
           "$$",   ":p",     " union ", "object ", " end\n", "item",       "<",
           ">",    "+",      "#13",     ".Strings"};
    const int steps = 1 + static_cast<int>(Rng.bounded(4));
    for (int i = 0; i < steps; ++i) {
        const qsizetype pos = Input.isEmpty() ? 0 : Rng.bounded(Input.size() + 1);
        switch (Rng.bounded(5)) {
        case 4:
            Input.insert(pos, '\0');
            break;
        case 0:
            Input.insert(pos, pieces[Rng.bounded(int(std::size(pieces)))]);
            break;
        case 1:
            if (pos < Input.size())
                Input.remove(pos, 1 + Rng.bounded(8));
            break;
        case 2:
            if (pos < Input.size())
                Input[pos] = static_cast<char>(Rng.bounded(256));
            break;
        default:
            Input.insert(pos, Input.mid(Rng.bounded(Input.size() + 1), 16));
            break;
        }
    }
    return Input;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus folder> [mutations per file]\n", argv[0]);
        return 2;
    }
    const int mutations = argc > 2 ? std::atoi(argv[2]) : 3000;
    QDir dir(QString::fromLocal8Bit(argv[1]));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no seed files in %s\n", argv[1]);
        return 2;
    }
    QRandomGenerator rng(20240);
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            return 2;
        }
        const QByteArray seed = file.readAll();
        run(seed);
        QByteArray current = seed;
        for (int i = 0; i < mutations; ++i) {
            current = mutate(i % 8 == 0 ? seed : current, rng);
            if (current.size() > 4096)
                current = seed;
            run(current);
        }
    }
    std::printf("replay of %s: %lld seeds, %d mutations each, all passed\n", argv[1],
                static_cast<long long>(files.size()), mutations);
    return 0;
}
