// Window tests that need a real window manager: where its frame lands and
// which title-bar buttons it draws. Run by the ctest tests WindowManager.*
// through tests/gui/under-wm.sh (Xvfb and openbox, at several scales); the
// window manager's view is read from the X server, not from Qt.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/catalogue/CodecLists.h"
#include "gui/operations/uDriverDialog.h"
#include "gui/scan/uFound.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/splash.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "gui/shell/uPrefs.h"
#include "gui/shell/uProgress.h"
#include "gui/shell/uQuestion.h"
#include "platform/api/OsVersion.h"
#include "support/TempMachine.h"

using namespace tarnel;
using tarnel::test::SetSetting;

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

// The X server's own account of a window and of the frame the window
// manager put around it, in the server's (device) pixels.
class XServer {
public:
    XServer() : c_(xcb_connect(nullptr, nullptr)) {}
    ~XServer() { xcb_disconnect(c_); }
    bool Ok() const { return xcb_connection_has_error(c_) == 0; }

    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return atom;
    }
    std::string AtomName(xcb_atom_t atom) {
        auto* r = xcb_get_atom_name_reply(c_, xcb_get_atom_name(c_, atom), nullptr);
        std::string name = r ? std::string(xcb_get_atom_name_name(r), size_t(xcb_get_atom_name_name_length(r))) : "";
        free(r);
        return name;
    }
    // A property's 32-bit items; empty when the window has none.
    std::vector<uint32_t> Items(xcb_window_t w, const char* property) {
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, Atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
        std::vector<uint32_t> items;
        if (r && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
            items.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        free(r);
        return items;
    }
    std::vector<std::string> AtomNames(xcb_window_t w, const char* property) {
        std::vector<std::string> names;
        for (uint32_t atom : Items(w, property)) names.push_back(AtomName(atom));
        return names;
    }
    xcb_window_t Root() { return xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root; }
    // The top-level window that holds `w`: the frame once a window manager
    // manages it.
    xcb_window_t Frame(xcb_window_t w) {
        const xcb_window_t root = Root();
        for (;;) {
            auto* r = xcb_query_tree_reply(c_, xcb_query_tree(c_, w), nullptr);
            if (!r) return w;
            const xcb_window_t parent = r->parent;
            free(r);
            if (parent == root || parent == XCB_WINDOW_NONE) return w;
            w = parent;
        }
    }
    QRect Geometry(xcb_window_t w) {
        auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr);
        auto* t = xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, w, Root(), 0, 0), nullptr);
        QRect rect;
        if (g && t) rect = QRect(t->dst_x, t->dst_y, g->width, g->height);
        free(g);
        free(t);
        return rect;
    }
    // The buttons the frame shows at the right of its title bar: small
    // square windows in the band above the client (the window's icon sits
    // at the left).
    int TitleButtons(xcb_window_t client) {
        const xcb_window_t frame = Frame(client);
        if (frame == client) return 0;
        const QRect outer = Geometry(frame), inner = Geometry(client);
        const int band = inner.top() - outer.top();
        int count = 0;
        std::function<void(xcb_window_t)> walk = [&](xcb_window_t w) {
            auto* r = xcb_query_tree_reply(c_, xcb_query_tree(c_, w), nullptr);
            if (!r) return;
            const xcb_window_t* children = xcb_query_tree_children(r);
            for (int i = 0; i < xcb_query_tree_children_length(r); ++i) {
                const xcb_window_t child = children[i];
                if (child == client) continue;
                auto* a = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, child), nullptr);
                const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
                free(a);
                if (!viewable) continue;
                const QRect at = Geometry(child);
                if (at.width() == at.height() && at.width() >= 6 && at.bottom() < outer.top() + band &&
                    at.center().x() > outer.center().x())
                    ++count;
                walk(child);
            }
            free(r);
        };
        walk(frame);
        return count;
    }

private:
    xcb_connection_t* c_;
};

bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Motif hints: flags, functions, decorations.
constexpr uint32_t kMwmFunctions = 1, kMwmFuncAll = 1, kMwmFuncMinimize = 8, kMwmFuncMaximize = 16,
                   kMwmFuncClose = 32;

class WindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs X and a window manager: run by ctest as WindowManager.* (tests/gui/under-wm.sh)";
        ASSERT_TRUE(x.Ok()) << "no X server at $DISPLAY";
        ASSERT_FALSE(x.Items(x.Root(), "_NET_SUPPORTING_WM_CHECK").empty()) << "no window manager runs";
        platform::SetProgramFile(test::PeFixture("version32.dll").string());
    }
    double Scale() const { return QGuiApplication::primaryScreen()->devicePixelRatio(); }
    int Device(int logical) const { return int(std::lround(logical * Scale())); }
    // Until the window manager has framed the window and says what it allows.
    void WaitManaged(QWidget* window) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        const xcb_window_t id = xcb_window_t(window->winId());
        ASSERT_TRUE(WaitFor([&] { return !x.Items(id, "_NET_WM_ALLOWED_ACTIONS").empty(); }))
            << window->objectName().toStdString() << " never managed";
    }

    XServer x;
    test::ArtDirScope art;
    test::TempMachine machine;
    test::FixedLog log;
};

}  // namespace

TEST_F(WindowManager, ASavedTopAboveTheScreenBringsTheWholeFrameOnIt) {
    const QRect screen = x.Geometry(x.Root());
    for (int top : {-10, -20}) {
        SetSetting(cMainLeft, 100);
        SetSetting(cMainTop, top);
        SetSetting(cMainWidth, 400);
        SetSetting(cMainHeight, 300);
        TfMain main(log);
        main.show();
        WaitManaged(&main);
        const xcb_window_t id = xcb_window_t(main.winId());
        // Placement may take a round trip to the window manager.
        WaitFor([&] { return x.Geometry(x.Frame(id)).top() == 0; }, 2000);
        const QRect frame = x.Geometry(x.Frame(id));
        EXPECT_NE(x.Frame(id), id) << "framed";
        EXPECT_TRUE(screen.contains(frame)) << top << ": frame at " << frame.x() << "," << frame.y();
        EXPECT_EQ(frame.top(), 0) << top << ": title bar at the screen's top edge, not lower";
        EXPECT_EQ(frame.left(), Device(100)) << top;
        EXPECT_EQ(x.Geometry(id).size(), QSize(Device(400), Device(300))) << top;
    }
    // A saved position on the screen comes back where the frame was.
    SetSetting(cMainTop, 80);
    TfMain main(log);
    main.show();
    WaitManaged(&main);
    const xcb_window_t id = xcb_window_t(main.winId());
    WaitFor([&] { return x.Geometry(x.Frame(id)).topLeft() == QPoint(Device(100), Device(80)); }, 2000);
    EXPECT_EQ(x.Geometry(x.Frame(id)).topLeft(), QPoint(Device(100), Device(80)));
    EXPECT_EQ(main.pos(), QPoint(100, 80)) << "saved as it was restored";
}

namespace {
// What a dialog's frame offers, read while it is up.
struct Offered {
    bool titled = false;
    int buttons = 0;
    bool minimise = false, maximise = false;
    bool transient = false;
    bool active = false;
    std::vector<uint32_t> motif;
};
}  // namespace

TEST_F(WindowManager, ModalDialogsOfferNoMinimiseOrMaximise) {
    TfMain main(log);
    main.setGeometry(200, 150, 700, 500);
    main.show();
    WaitManaged(&main);
    auto read = [&](QWidget* dialog) {
        Offered o;
        WaitManaged(dialog);
        QTest::qWait(100);
        const xcb_window_t id = xcb_window_t(dialog->winId());
        const QRect outer = x.Geometry(x.Frame(id)), inner = x.Geometry(id);
        o.titled = inner.top() - outer.top() > outer.bottom() - inner.bottom() + 2;
        o.buttons = x.TitleButtons(id);
        const auto actions = x.AtomNames(id, "_NET_WM_ALLOWED_ACTIONS");
        o.minimise = Has(actions, "_NET_WM_ACTION_MINIMIZE");
        o.maximise = Has(actions, "_NET_WM_ACTION_MAXIMIZE_HORZ") || Has(actions, "_NET_WM_ACTION_MAXIMIZE_VERT");
        o.transient = x.Items(id, "WM_TRANSIENT_FOR") == std::vector<uint32_t>{uint32_t(main.winId())};
        o.motif = x.Items(id, "_MOTIF_WM_HINTS");
        o.active = QTest::qWaitForWindowActive(dialog, 2000);
        return o;
    };
    // A window with a title bar offers neither; one with a close button
    // only where it is designed with one.
    auto expectTitled = [&](const Offered& o, bool close, const char* which) {
        EXPECT_TRUE(o.titled) << which;
        EXPECT_FALSE(o.minimise) << which;
        EXPECT_FALSE(o.maximise) << which;
        EXPECT_EQ(o.buttons, 1) << which << ": the close button alone";
        EXPECT_TRUE(o.transient) << which;
        EXPECT_TRUE(o.active) << which << ": takes the keyboard";
        ASSERT_GE(o.motif.size(), 3u) << which;
        ASSERT_TRUE(o.motif[0] & kMwmFunctions) << which << ": says which functions it offers";
        EXPECT_EQ(o.motif[1] & (kMwmFuncAll | kMwmFuncMinimize | kMwmFuncMaximize), 0u) << which;
        EXPECT_EQ(bool(o.motif[1] & kMwmFuncClose), close) << which;
    };
    auto expectUntitled = [&](const Offered& o, const char* which) {
        EXPECT_FALSE(o.titled) << which;
        EXPECT_EQ(o.buttons, 0) << which;
    };

    Offered message, question, preferences, about, found;
    test::WhenModal<TfMessage>([&](TfMessage* d) {
        message = read(d);
        d->OkButton->click();
    });
    main.ShowSystemMessage("A message");
    expectTitled(message, true, "message");

    test::WhenModal<TfQuestion>([&](TfQuestion* d) {
        question = read(d);
        d->Button2->click();
    });
    EXPECT_FALSE(main.close());
    expectTitled(question, false, "question");

    test::WhenModal<TfPreferences>([&](TfPreferences* d) {
        preferences = read(d);
        d->CancelButton->click();
    });
    main.Preferences->trigger();
    expectTitled(preferences, false, "preferences");

    test::WhenModal<TSplashScreen>([&](TSplashScreen* d) {
        about = read(d);
        d->close();
    });
    main.About->trigger();
    expectUntitled(about, "about box");

    TCodecList inactive;
    auto* foundDialog = new TfFound(main, inactive);
    test::WhenModal<TfFound>([&](TfFound* d) {
        found = read(d);
        d->ExitButton->click();
    });
    foundDialog->exec();
    expectUntitled(found, "found FOURCCs");

    // The dialog an emulated driver shows its own text in.
    Offered driver;
    test::WhenModal<TfDriverDialog>([&](TfDriverDialog* d) {
        driver = read(d);
        d->OkButton->click();
    });
    ShowDriverDialog(true, "PB Texture", "Nothing to configure.", &main);
    expectTitled(driver, true, "driver dialog");

    auto* progress = new TfProgress(nullptr);
    progress->show();
    expectUntitled(read(progress), "progress");
    progress->close();
}

TEST_F(WindowManager, TheAboutBoxsLastLineEndsBeforeItsIcon) {
    TfMain main(log);
    main.show();
    WaitManaged(&main);
    test::WhenModal<TSplashScreen>([&](TSplashScreen* d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d));
        const QLabel* line = d->SplashLoadingLabel;
        const int textEnd = line->x() + line->contentsRect().left() +
                            line->fontMetrics().horizontalAdvance(line->text());
        const QRect icon = d->RecycledImage->geometry();
        EXPECT_GE(icon.left(), textEnd + 4) << "scale " << Scale() << ": text to " << textEnd << ", icon from "
                                            << icon.left();
        EXPECT_LT(icon.right(), d->Label1->x()) << "clear of the copyright line";
        EXPECT_TRUE(d->Panel1->contentsRect().contains(icon));
        d->close();
    });
    main.About->trigger();
}
