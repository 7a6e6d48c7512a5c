#include "core/shell/ShellView.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "core/catalogue/uCodecs.h"
#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"

namespace tarnel {

std::array<int, cStatusPanelCount> StatusPanelWidths(const std::array<int, cStatusPanelCount>& wanted, int room) {
    std::array<int, cStatusPanelCount> widths = wanted;
    room = std::max(0, room);
    int total = 0;
    for (int i = 0; i < cStatusPanelCount - 1; ++i) total += widths[i] = std::max(0, wanted[i]);
    if (total > room && total > 0) {
        int given = 0;
        for (int i = 0; i < cStatusPanelCount - 1; ++i)
            given += widths[i] = int(int64_t(widths[i]) * room / total);
        widths[0] += room - given;
        total = room;
    }
    widths[cStatusPanelCount - 1] = std::max(0, room - total);
    return widths;
}

bool RestoresSavedBounds(const TPreferences& p) {
    return p.SavePositions && p.MainTop != 0 && p.MainLeft != 0 && p.MainHeight != 0 && p.MainWidth != 0;
}

bool NamesDefaultFont(const std::string& programFont) {
    return programFont.empty() || platform::EqualsNoCase(programFont, cDefaultFontEntry);
}

std::vector<std::string> FontBoxEntries(std::vector<std::string> families,
                                        const std::function<int(const std::string&, const std::string&)>& compare) {
    // Equal under `compare` but spelt apart, the exact text decides, so that
    // the order and the removal of repeats do not depend on the input's order.
    auto less = [&](const std::string& a, const std::string& b) {
        const int order = compare(a, b);
        return order != 0 ? order < 0 : a < b;
    };
    std::sort(families.begin(), families.end(), less);
    families.erase(std::unique(families.begin(), families.end()), families.end());
    const bool listed = std::any_of(families.begin(), families.end(),
                                    [](const std::string& f) { return platform::EqualsNoCase(f, cDefaultFontEntry); });
    if (!listed) {
        const std::string entry = cDefaultFontEntry;
        auto at = std::find_if(families.begin(), families.end(),
                               [&](const std::string& f) { return compare(f, entry) > 0; });
        families.insert(at, entry);
    }
    return families;
}

int FontBoxSelection(const std::vector<std::string>& entries, const std::string& programFont) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (platform::EqualsNoCase(entries[i], programFont)) return int(i);
    return -1;
}

int ClampFontSize(int size) { return std::clamp(size, cMinFontSize, cMaxFontSize); }

namespace {
constexpr int kPanelLeft = 104, kPanelTop = 64, kDesignPanelWidth = 409, kDesignPanelHeight = 33;
constexpr int kRightMargin = 12, kButtonGap = 7, kButtonWidth = 81, kButtonHeight = 25, kBottomMargin = 17;
constexpr int kDesignWidth = 525, kDesignHeight = 146, kScreenMargin = 24, kTitleRoom = 40;
}  // namespace

int MessagePanelWidth(int wanted, int areaWidth, const TScaleFunction& s) {
    const int widest = std::max(s(kDesignPanelWidth), areaWidth - 2 * s(kScreenMargin) - s(kPanelLeft) - s(kRightMargin));
    return std::clamp(wanted, s(kDesignPanelWidth), widest);
}

TMessageLayout MessageLayout(int panelWidth, int wantedHeight, int areaHeight, const TScaleFunction& s) {
    TMessageLayout l;
    const int chrome = s(kPanelTop) + s(kButtonGap) + s(kButtonHeight) + s(kBottomMargin);
    const int tallest = std::max(s(kDesignPanelHeight), areaHeight - 2 * s(kScreenMargin) - s(kTitleRoom) - chrome);
    l.PanelLeft = s(kPanelLeft);
    l.PanelTop = s(kPanelTop);
    l.PanelWidth = panelWidth;
    l.PanelHeight = std::clamp(wantedHeight, s(kDesignPanelHeight), tallest);
    l.ButtonWidth = s(kButtonWidth);
    l.ButtonHeight = s(kButtonHeight);
    l.ButtonLeft = l.PanelLeft + (panelWidth - l.ButtonWidth) / 2 - s(4);
    l.ButtonTop = l.PanelTop + l.PanelHeight + s(kButtonGap);
    l.ClientWidth = std::max(s(kDesignWidth), l.PanelLeft + panelWidth + s(kRightMargin));
    l.ClientHeight = std::max(s(kDesignHeight), l.ButtonTop + l.ButtonHeight + s(kBottomMargin));
    return l;
}

namespace {
std::string FormatVersion(const char* format, const std::string& fileVersion) {
    const TFileVersionNumbers v = ParseFileVersion(fileVersion);
    char text[128];
    std::snprintf(text, sizeof text, format, v.Major, v.Minor, v.Release, v.Build);
    return text;
}
}  // namespace

std::string MainCaption(const std::string& fileVersion) { return FormatVersion(cCaptionFormat, fileVersion); }

std::string VersionText(const std::string& fileVersion) { return FormatVersion(cVersionFormat, fileVersion); }

std::string AboutBuildText(const std::string& version, const std::string& note) {
    // Without a version the note stands alone, without its leading blank.
    if (version.empty()) return note.empty() || note[0] != ' ' ? note : note.substr(1);
    return version + note;
}

}  // namespace tarnel
