#include "gui/shell/GuiCommon.h"

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QWidget>
#include <QWindow>

namespace tarnel {
namespace {

class TCountsPaints : public QWidget {
public:
    int Paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++Paints; }
};

// A window just shown is painted by its exposure; a second frame would
// only cost time. One already on screen is painted when asked.
TEST(PaintNow, PaintsAWindowJustShownOnceAndAShownOneWhenAsked) {
    TCountsPaints window;
    window.resize(200, 100);
    window.show();
    PaintNow(&window);
    ASSERT_TRUE(window.windowHandle() && window.windowHandle()->isExposed());
    EXPECT_EQ(window.Paints, 1);

    PaintNow(&window, QRect(0, 0, 10, 10));
    EXPECT_EQ(window.Paints, 2);
    // A hidden window is not waited for and not painted.
    window.hide();
    PaintNow(&window);
    EXPECT_EQ(window.Paints, 2);
}

}  // namespace
}  // namespace tarnel
