// The window tests run in one QApplication on Qt's offscreen platform.
#include <gtest/gtest.h>

#include "gui/shell/GuiCommon.h"
#include "gui/shell/uMain.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own application object: its error display is under test too.
    tarnel::TApplication app(argc, argv);
    // The pictures come from the repository; the program finds them beside itself.
    tarnel::SetArtDir(TARNEL_ART_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
