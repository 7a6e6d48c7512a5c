// The window tests run in one QApplication on Qt's offscreen platform, with
// two screens of 1400 x 1000 pixels side by side: the first (the primary) at
// 100 %, the second at 200 %, where 700 x 500 pixels of the program's own fill it.
#include <gtest/gtest.h>

#include "gui/shell/GuiCommon.h"
#include "gui/shell/uMain.h"

int main(int argc, char** argv) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TARNEL_GUI_SCREENS);
    // The program's own application object: its error display is under test too.
    tarnel::TApplication app(argc, argv);
    // The pictures come from the repository; the program finds them beside itself.
    tarnel::SetArtDir(TARNEL_ART_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
