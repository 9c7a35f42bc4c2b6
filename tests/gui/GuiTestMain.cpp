#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/TemporaryFolder.h"

// The main of every gui test program. Each test runs as its own process (CTest runs the
// cases one by one), and each process gets Qt's display-less platform and its own 0700
// runtime folder, so that the viewer's named lock of one test never meets that of
// another test running in parallel or of a viewer the developer has open.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TemporaryFolder runtimeFolder; // created 0700 by mkdtemp
    setenv("XDG_RUNTIME_DIR", runtimeFolder.Path().c_str(), 1);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
