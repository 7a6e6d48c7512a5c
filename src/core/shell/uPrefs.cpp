#include "core/shell/uPrefs.h"

#include <algorithm>

#include "platform/api/Registry.h"

namespace tarnel {

namespace {

using platform::TRegistry;

// Opens the settings key, creating it and its parent as needed.
void OpenPreferencesKey(TRegistry& reg) {
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (reg.OpenKey(cCompanyKey, true)) {
        reg.CreateKey(cPreferencesSubKey);
        reg.CloseKey();
    }
    if (!reg.OpenKey(cPreferencesKey, true))
        throw platform::ERegistryException(std::string("Failed to create key ") + cPreferencesKey);
}

// Booleans and integers are double words; anything else is not a setting of ours.
bool HoldsInteger(TRegistry& reg, const char* name) {
    return reg.GetRawType(name) == platform::kRegDword;
}

bool HoldsText(TRegistry& reg, const char* name) {
    uint32_t type = reg.GetRawType(name);
    return type == platform::kRegSz || type == platform::kRegExpandSz;
}

void LoadBool(TRegistry& reg, const char* name, bool& field) {
    if (reg.ValueExists(name) && HoldsInteger(reg, name))
        field = reg.ReadBool(name);
    else
        reg.WriteBool(name, field);
}

void LoadInteger(TRegistry& reg, const char* name, int32_t& field) {
    if (reg.ValueExists(name) && HoldsInteger(reg, name))
        field = reg.ReadInteger(name);
    else
        reg.WriteInteger(name, field);
}

void LoadText(TRegistry& reg, const char* name, std::string& field) {
    if (reg.ValueExists(name) && HoldsText(reg, name))
        field = reg.ReadString(name);
    else
        reg.WriteString(name, field);
}

// A value deleted while the program ran stays deleted; the next start recreates it.
void SaveBool(TRegistry& reg, const char* name, bool value) {
    if (reg.ValueExists(name)) reg.WriteBool(name, value);
}

void SaveInteger(TRegistry& reg, const char* name, int32_t value) {
    if (reg.ValueExists(name)) reg.WriteInteger(name, value);
}

void SaveText(TRegistry& reg, const char* name, const std::string& value) {
    if (reg.ValueExists(name)) reg.WriteString(name, value);
}

}  // namespace

TPreferences ReadSettings() {
    TPreferences p;
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (!reg.OpenKeyReadOnly(cPreferencesKey)) return p;
    auto flag = [&](const char* name, bool& field) {
        if (reg.ValueExists(name) && HoldsInteger(reg, name)) field = reg.ReadBool(name);
    };
    auto number = [&](const char* name, int32_t& field) {
        if (reg.ValueExists(name) && HoldsInteger(reg, name)) field = reg.ReadInteger(name);
    };
    flag(cSizeEqually, p.SizeEqually);
    flag(cStayOnTop, p.StayOnTop);
    flag(cAutoSwap, p.AutoSwap);
    flag(cSavePositions, p.SavePositions);
    flag(cDisableDoubleClick, p.DisableDoubleClick);
    number(cMainLeft, p.MainLeft);
    number(cMainTop, p.MainTop);
    number(cMainHeight, p.MainHeight);
    number(cMainWidth, p.MainWidth);
    number(cActiveCodecHeight, p.ActiveCodecHeight);
    if (reg.ValueExists(cProgramFont) && HoldsText(reg, cProgramFont)) p.ProgramFont = reg.ReadString(cProgramFont);
    number(cFontSize, p.FontSize);
    return p;
}

TPreferences LoadSettings() {
    if (platform::CurrentBackend().ReadOnly()) return ReadSettings();
    // The defaults seeded at a first start reach the hive file in one write.
    platform::TTransaction scope;
    TRegistry reg;
    OpenPreferencesKey(reg);
    TPreferences p;
    LoadBool(reg, cSizeEqually, p.SizeEqually);
    LoadBool(reg, cStayOnTop, p.StayOnTop);
    LoadBool(reg, cAutoSwap, p.AutoSwap);
    LoadBool(reg, cSavePositions, p.SavePositions);
    LoadBool(reg, cDisableDoubleClick, p.DisableDoubleClick);
    LoadInteger(reg, cMainLeft, p.MainLeft);
    LoadInteger(reg, cMainTop, p.MainTop);
    LoadInteger(reg, cMainHeight, p.MainHeight);
    LoadInteger(reg, cMainWidth, p.MainWidth);
    LoadInteger(reg, cActiveCodecHeight, p.ActiveCodecHeight);
    LoadText(reg, cProgramFont, p.ProgramFont);
    LoadInteger(reg, cFontSize, p.FontSize);
    reg.CloseKey();
    scope.Commit();
    return p;
}

void SaveSettings(TPreferences& prefs, const TWindowBounds& mainBounds,
                  int32_t activeCodecHeight) {
    // All twelve values or none: one replacement of the hive file.
    platform::TTransaction scope;
    TRegistry reg;
    OpenPreferencesKey(reg);
    SaveBool(reg, cSizeEqually, prefs.SizeEqually);
    SaveBool(reg, cStayOnTop, prefs.StayOnTop);
    SaveBool(reg, cAutoSwap, prefs.AutoSwap);
    SaveBool(reg, cSavePositions, prefs.SavePositions);
    SaveBool(reg, cDisableDoubleClick, prefs.DisableDoubleClick);

    // The bounds are taken whether or not SavePositions is set, so turning
    // it on later restores the last bounds.
    prefs.MainTop = mainBounds.Top;
    prefs.MainLeft = mainBounds.Left;
    prefs.MainHeight = mainBounds.Height;
    prefs.MainWidth = mainBounds.Width;
    prefs.ActiveCodecHeight = activeCodecHeight;

    SaveInteger(reg, cMainLeft, prefs.MainLeft);
    SaveInteger(reg, cMainTop, prefs.MainTop);
    SaveInteger(reg, cMainHeight, prefs.MainHeight);
    SaveInteger(reg, cMainWidth, prefs.MainWidth);
    SaveInteger(reg, cActiveCodecHeight, prefs.ActiveCodecHeight);
    SaveText(reg, cProgramFont, prefs.ProgramFont);
    SaveInteger(reg, cFontSize, prefs.FontSize);
    reg.CloseKey();
    scope.Commit();
}

namespace {
std::string RecentName(size_t i) { return std::string(cRecentMachineValue) + std::to_string(i + 1); }
}  // namespace

std::vector<std::string> ReadRecentMachines() {
    std::vector<std::string> out;
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (!reg.OpenKeyReadOnly(cPreferencesKey)) return out;
    for (size_t i = 0; i < cRecentMachines; ++i) {
        const std::string name = RecentName(i);
        if (reg.ValueExists(name) && HoldsText(reg, name.c_str()))
            if (std::string f = reg.ReadString(name); !f.empty()) out.push_back(f);
    }
    return out;
}

int ReadRememberedView() {
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (!reg.OpenKeyReadOnly(cPreferencesKey) || !reg.ValueExists(cViewValue) || !HoldsInteger(reg, cViewValue))
        return 0;
    const int32_t view = reg.ReadInteger(cViewValue);
    return view == 32 || view == 64 ? view : 0;
}

std::vector<std::string> RememberMachine(std::vector<std::string> recent, const std::string& opened) {
    recent.erase(std::remove(recent.begin(), recent.end(), opened), recent.end());
    recent.insert(recent.begin(), opened);
    if (recent.size() > cRecentMachines) recent.resize(cRecentMachines);
    platform::TTransaction transaction;
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (!reg.OpenKey(cPreferencesKey, true))
        throw platform::ERegistryException(std::string("Failed to create key ") + cPreferencesKey);
    for (size_t i = 0; i < cRecentMachines; ++i) {
        if (i < recent.size()) reg.WriteString(RecentName(i), recent[i]);
        else if (reg.ValueExists(RecentName(i))) reg.DeleteValue(RecentName(i));
    }
    transaction.Commit();
    return recent;
}

void RememberView(int view) {
    platform::TTransaction transaction;
    TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (!reg.OpenKey(cPreferencesKey, true))
        throw platform::ERegistryException(std::string("Failed to create key ") + cPreferencesKey);
    reg.WriteInteger(cViewValue, view);
    transaction.Commit();
}

}  // namespace tarnel
