#pragma once

#include "TestSupport.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

class QObject;
class QWidget;
class TMainWindow;
struct MessageRequest;

// The package loaded once for a suite of GUI tests, with the environment's
// own classes registered and the design settings kept in a folder of the
// suite's own; and a copy of the demo (form and SQL script) for each test.
class GuiTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // The copy of examples/demo.dfm in the test's folder.
    QString demoForm() const { return m_folder.file(QStringLiteral("demo.dfm")); }
    const TempFolder &folder() const { return m_folder; }

    // Saves a picture of Widget as build/bin/screenshots/NAME.png and
    // returns it.
    static QImage screenshot(QWidget *Widget, const QString &Name);
    // The same of the message box the designer shows for Request.
    static QImage screenshot(const MessageRequest &Request, const QString &Name);
    // How many different colours the picture has: an empty window has one
    // or two.
    static int colourCount(const QImage &Image);

private:
    TempFolder m_folder;
};

// The designer's main window on a copy of the demo, shown and active, as the
// tests drive it through its actions and keys.
class WindowTest : public GuiTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    bool openDemo();
    // The component Name of the open module, or null.
    QObject *component(const QString &Name) const;

    std::unique_ptr<TMainWindow> window;
};
