// A second process for the ini file tests: writes Count keys into one section
// of an ini file, each with a write of its own (read, change, replace).
//   ini_writer FILE SECTION COUNT [VALUE_LENGTH]
// Exits 0 when every write succeeded; otherwise prints the error and exits 1.
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: ini_writer FILE SECTION COUNT [VALUE_LENGTH]\n");
        return 2;
    }
    TIniFile ini(QString::fromLocal8Bit(argv[1]));
    const QString section = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    const int length = argc > 4 ? std::atoi(argv[4]) : 0;
    try {
        for (int i = 0; i < count; ++i)
            ini.WriteString(section, QStringLiteral("Key%1").arg(i),
                            length > 0 ? QString(length, u'x') : QStringLiteral("v%1").arg(i));
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
