#include "rtl/RuntimeDir.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Tests never need a display; a discovered test run has no environment of its own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDir();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
