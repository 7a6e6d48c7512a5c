#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "demo/DemoMachine.h"
#include "demo/DemoFiles.h"
#include "platform/machine/AtomicFile.h"
#include "platform/api/CodecManager.h"
#include "platform/machine/CodecInfo.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

const char* kDrivers32 = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char* kInactive = "\\SOFTWARE\\Halvorin\\Drivers.Inactive";
const std::string kInstance = "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance";

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}
std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

uint32_t Code(const std::string& s) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < s.size(); ++i) v |= uint32_t(uint8_t(s[i])) << (8 * i);
    return v;
}

struct Entry {
    std::string name, value;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> RegistryDriverList() {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    std::vector<Entry> out;
    if (!reg.OpenKeyReadOnly(kDrivers32)) return out;
    std::vector<std::string> names;
    reg.GetValueNames(names);
    for (const std::string& n : names) out.push_back({n, reg.ReadString(n)});
    return out;
}

std::vector<Entry> ProfileDriverList() {
    std::vector<char> buf(32767);
    uint32_t n = GetPrivateProfileSectionA("Drivers32", buf.data(), static_cast<uint32_t>(buf.size()),
                                           "SYSTEM.INI");
    std::vector<Entry> out;
    for (size_t pos = 0; pos < n;) {
        std::string line(buf.data() + pos);
        pos += line.size() + 1;
        size_t eq = line.find('=');
        out.push_back({line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1)});
    }
    return out;
}

bool IsVideo(const Entry& e) {
    size_t dot = e.name.find('.');
    return dot != std::string::npos && Lower(e.name.substr(0, dot)) == "vidc";
}
std::string FourccOf(const Entry& e) { return Lower(e.name.substr(e.name.find('.') + 1)); }

// What a driver file says of itself, read from the installed file.
machine::CodecSelfDescription SelfOf(const fs::path& file) {
    auto text = PeImage::Load(file).FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
    return text ? machine::ParseCodecInfoText(*text) : machine::CodecSelfDescription{};
}

std::string FileVersionOf(const std::string& file) {
    uint32_t size = GetFileVersionInfoSizeA(file, nullptr);
    if (size == 0) return "";
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(file, 0, size, block.data())) return "";
    void* p = nullptr;
    uint32_t len = 0;
    if (!VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &p, &len)) return "";
    return static_cast<const char*>(p);
}

// The codes a scan of the file would try: four characters after an '='.
std::set<std::string> ScanCandidates(const std::string& bytes) {
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    auto alnum = [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); };
    std::set<std::string> out;
    for (size_t p = 0; p + 4 < bytes.size(); ++p) {
        if (bytes[p] != '=') continue;
        const char* c = bytes.data() + p + 1;
        if (alpha(c[0]) && alnum(c[1]) && alnum(c[2]) && (alnum(c[3]) || c[3] == ' '))
            out.insert(std::string(c, 4));
    }
    return out;
}

// Every file below root, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out[fs::relative(e.path(), root).string()] = e.is_regular_file() ? ReadWholeFile(e.path()) : "<dir>";
    return out;
}

}  // namespace

TEST(DemoFiles, ArePe32ImagesCarryingTheirResources) {
    int plain = 0, codecs = 0, filters = 0;
    for (const demo::DemoFile& f : demo::DemoFiles()) {
        SCOPED_TRACE(f.name);
        std::string bytes(reinterpret_cast<const char*>(f.data), f.size);
        EXPECT_LT(bytes.size(), 16u * 1024u);
        PeImage image(bytes, f.name);
        EXPECT_FALSE(image.Is64());
        EXPECT_EQ(image.Machine(), 0x14c);

        auto version = image.FindResource(ResId::Id(kRtVersion), ResId::Id(1));
        auto info = image.FindResource(ResId::Name("CODECINFO"), ResId::Id(1));
        EXPECT_EQ(version.has_value(), f.fileVersion != nullptr);
        EXPECT_EQ(info.has_value(), f.codecInfo != nullptr);
        if (info && f.codecInfo) {
            EXPECT_EQ(*info, f.codecInfo);
        }
        // The NT family takes the string table's key from a fixed place.
        if (version) {
            ASSERT_GT(version->size(), 150u);
            std::string key;
            for (size_t off = 134; off <= 148; off += 2) key += (*version)[off];
            EXPECT_EQ(key, "040904E4");
        }

        bool isCodec = bytes.find(std::string("DriverProc\0", 11)) != std::string::npos;
        bool isFilter = bytes.find(std::string("DllGetClassObject\0", 18)) != std::string::npos;
        EXPECT_NE(isCodec, isFilter);
        if (!version && !info) ++plain;
        if (isCodec) ++codecs;
        if (isFilter) ++filters;
        if (isFilter) {
            EXPECT_FALSE(info.has_value());
        }
    }
    EXPECT_EQ(plain, 1);
    EXPECT_GE(codecs, 9);
    EXPECT_GE(filters, 3);
    EXPECT_EQ(demo::FindDemoFile("LCMJPEG.DLL"), demo::FindDemoFile("lcmjpeg.dll"));
    EXPECT_EQ(demo::FindDemoFile("nosuch.dll"), nullptr);
}

TEST(DemoMachine, NtDriverListHoldsEveryKindOfCodec) {
    test::TempMachine m(TMachineFamily::NT, true);
    std::vector<Entry> list = RegistryDriverList();
    int video = 0, others = 0, acm = 0, versioned = 0, unversioned = 0, missing = 0;
    int configure = 0, noConfigure = 0, about = 0, noAbout = 0;
    for (const Entry& e : list) {
        SCOPED_TRACE(e.name);
        if (!IsVideo(e)) {
            ++others;
            if (Lower(e.name).rfind("msacm.", 0) == 0) ++acm;
            continue;
        }
        ++video;
        auto file = ResolveMachineFile(e.value);
        if (!file) {
            ++missing;
            EXPECT_EQ(ICOpen(Code("VIDC"), Code(Upper(FourccOf(e))), kIcModeQuery), 0u);
            continue;
        }
        EXPECT_EQ(file->parent_path().filename(), "system32");
        (GetFileVersionInfoSizeA(e.value, nullptr) > 0 ? versioned : unversioned)++;

        HIC h = ICOpen(Code("VIDC"), Code(Upper(FourccOf(e))), kIcModeFastCompress);
        ASSERT_NE(h, 0u) << "every present demo driver answers to its own entry";
        (ICSendMessage(h, kIcmConfigure, -1, 0) == kIcErrUnsupported ? noConfigure : configure)++;
        (ICSendMessage(h, kIcmAbout, -1, 0) == kIcErrUnsupported ? noAbout : about)++;
        ICClose(h);
    }
    EXPECT_GE(versioned, 8);
    EXPECT_EQ(unversioned, 1);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(video, versioned + unversioned + missing);
    EXPECT_GE(acm, 1);
    EXPECT_GT(others, acm);
    EXPECT_GE(configure, 1);
    EXPECT_GE(noConfigure, 1);
    EXPECT_GE(about, 1);
    EXPECT_GE(noAbout, 1);

    // Every demo file is installed in the system folder.
    for (const demo::DemoFile& f : demo::DemoFiles())
        EXPECT_EQ(m.ReadFile(fs::path("drive_c/windows/system32") / f.name).size(), f.size) << f.name;
}

TEST(DemoMachine, ADriverAnswersFurtherFourccsThatAScanOfItsFileFinds) {
    test::TempMachine m(TMachineFamily::NT, true);
    std::vector<Entry> list = RegistryDriverList();
    std::set<std::string> active;
    for (const Entry& e : list)
        if (IsVideo(e)) active.insert(FourccOf(e));

    int further = 0;
    std::set<std::string> scanned;
    for (const Entry& e : list) {
        if (!IsVideo(e) || !scanned.insert(Lower(e.value)).second) continue;
        auto file = ResolveMachineFile(e.value);
        // Only drivers with their own FOURCC list: one answering everything proves nothing.
        if (!file || SelfOf(*file).fourccs.empty()) continue;
        for (const std::string& cand : ScanCandidates(ReadWholeFile(*file))) {
            if (active.count(Lower(cand))) continue;
            // The probe: a temporary entry for the candidate, then a query.
            const std::string name = "vidc." + Lower(cand);
            {
                TRegistry reg;
                reg.SetRootKey(kHkeyLocalMachine);
                ASSERT_TRUE(reg.OpenKey(kDrivers32, false));
                reg.WriteString(name, e.value);
            }
            HIC h = ICOpen(Code("VIDC"), Code(Upper(cand)), kIcModeQuery);
            ICINFO info;
            std::memset(&info, 0, sizeof info);
            ICGetInfo(h, &info, sizeof info);
            ICClose(h);
            if (info.fccType != 0) ++further;
            TRegistry reg;
            reg.SetRootKey(kHkeyLocalMachine);
            ASSERT_TRUE(reg.OpenKey(kDrivers32, false));
            reg.DeleteValue(name);
        }
    }
    EXPECT_GE(further, 2);
}

TEST(DemoMachine, InactiveEntriesAreStoredByteExact) {
    test::TempMachine m(TMachineFamily::NT, true);
    std::set<std::pair<std::string, std::string>> active;  // fourcc, driver
    for (const Entry& e : RegistryDriverList())
        if (IsVideo(e)) active.insert({FourccOf(e), Lower(e.value)});

    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kInactive));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    ASSERT_GE(names.size(), 3u);

    int twins = 0, blanks = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        char expectedName[32];
        std::snprintf(expectedName, sizeof expectedName, "#%.3zu#", i + 1);
        ASSERT_EQ(names[i], expectedName);
        ASSERT_EQ(reg.GetDataType(names[i]), TRegDataType::rdBinary);
        std::string data(static_cast<size_t>(reg.GetDataSize(names[i])), '\0');
        reg.ReadBinaryData(names[i], data.data(), static_cast<int>(data.size()));
        ASSERT_FALSE(data.empty());
        ASSERT_LE(data.size(), 2047u);
        ASSERT_EQ(data.back(), '\0');

        // The six texts, each closed by one zero byte.
        std::vector<std::string> pieces;
        for (size_t pos = 0; pos < data.size();) {
            size_t end = data.find('\0', pos);
            pieces.push_back(data.substr(pos, end - pos));
            pos = end + 1;
        }
        ASSERT_EQ(pieces.size(), 6u) << names[i];
        const std::string& driver = pieces[1];

        // What the list would have shown, read back from the installed file.
        auto file = ResolveMachineFile(driver);
        ASSERT_TRUE(file) << driver;
        machine::CodecSelfDescription self = SelfOf(*file);
        std::string expected;
        for (std::string t : {pieces[0], driver, self.name, self.description,
                              FileVersionOf(driver), std::string("32")}) {
            if (t.empty()) t = " ";
            blanks += t == " ";
            expected += t;
            expected += '\0';
        }
        EXPECT_EQ(data, expected) << names[i];
        EXPECT_EQ(pieces[0], Lower(pieces[0]));
        EXPECT_NE(FileVersionOf(driver), "");

        // A twin: an active codec of the same FOURCC with another driver.
        for (const auto& [fourcc, activeDriver] : active)
            if (fourcc == pieces[0] && activeDriver != Lower(driver)) ++twins;
    }
    EXPECT_GE(twins, 1);
    EXPECT_GE(blanks, 1);
}

TEST(DemoMachine, RegistersDirectShowFilters) {
    test::TempMachine m(TMachineFamily::NT, true);
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kInstance));
    std::vector<std::string> keys;
    reg.GetKeyNames(keys);
    reg.CloseKey();

    int named = 0, unnamed = 0, present = 0, absent = 0, noServer = 0, expandable = 0;
    std::set<std::string> names, clsids;
    bool duplicateName = false;
    for (const std::string& k : keys) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(reg.OpenKeyReadOnly(kInstance + "\\" + k));
        if (reg.ValueExists("FriendlyName")) {
            ++named;
            duplicateName |= !names.insert(reg.ReadString("FriendlyName")).second;
        } else {
            ++unnamed;
        }
        const std::string clsid = reg.ReadString("CLSID");
        EXPECT_EQ(clsid, k);
        EXPECT_TRUE(clsids.insert(Lower(clsid)).second);
        EXPECT_EQ(reg.GetDataType("FilterData"), TRegDataType::rdBinary);
        reg.CloseKey();

        if (!reg.OpenKeyReadOnly("\\CLSID\\" + clsid + "\\InprocServer32")) {
            ++noServer;
            continue;
        }
        const std::string server = reg.ReadString("");
        const bool expand = reg.GetDataType("") == TRegDataType::rdExpandString;
        reg.CloseKey();
        if (expand) {
            ++expandable;
            EXPECT_NE(server.find('%'), std::string::npos);
            continue;
        }
        if (ResolveMachineFile(server)) {
            if (GetFileVersionInfoSizeA(server, nullptr) > 0) ++present;
        } else {
            ++absent;
        }
    }
    EXPECT_GE(named, 20);
    EXPECT_EQ(unnamed, 1);
    EXPECT_GE(present, 10);  // present with a version resource
    EXPECT_GE(absent, 2);
    EXPECT_GE(noServer, 1);
    EXPECT_GE(expandable, 1);
    EXPECT_TRUE(duplicateName);
}

TEST(DemoMachine, Win9xKeepsTheSameDriversInSystemIniAndTheSystemFolder) {
    test::TempMachine nt(TMachineFamily::NT, true);
    const std::vector<Entry> ntList = RegistryDriverList();
    std::vector<std::string> ntInactive;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKeyReadOnly(kInactive));
        reg.GetValueNames(ntInactive);
    }

    test::TempMachine w(TMachineFamily::Win9x, true);
    EXPECT_EQ(ProfileDriverList(), ntList);
    EXPECT_TRUE(RegistryDriverList().empty());
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKeyReadOnly(kInactive));
        std::vector<std::string> names;
        reg.GetValueNames(names);
        EXPECT_EQ(names, ntInactive);
    }
    for (const demo::DemoFile& f : demo::DemoFiles()) {
        EXPECT_TRUE(fs::exists(w.Root() / "drive_c/windows/system" / f.name)) << f.name;
        EXPECT_FALSE(fs::exists(w.System32() / f.name)) << f.name;
    }
    // The bare machine's other sections stay in place.
    EXPECT_NE(w.ReadFile("drive_c/windows/system.ini").find("[386Enh]"), std::string::npos);

    // Filter servers are named in the system folder of this family.
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kInstance));
    std::vector<std::string> keys;
    reg.GetKeyNames(keys);
    int present = 0;
    for (const std::string& k : keys) {
        if (!reg.OpenKeyReadOnly("\\CLSID\\" + k + "\\InprocServer32")) continue;
        std::string server = reg.ReadString("");
        if (server.rfind("C:\\WINDOWS\\SYSTEM\\", 0) == 0 && ResolveMachineFile(server)) ++present;
    }
    EXPECT_GE(present, 10);
}

TEST(DemoMachine, IsTheSameEveryTime) {
    for (TMachineFamily family : {TMachineFamily::NT, TMachineFamily::Win9x}) {
        test::TempDir a, b;
        tarnel::CreateDemoMachine(a.Path() / "m", family);
        tarnel::CreateDemoMachine(b.Path() / "m", family);
        auto first = Tree(a.Path() / "m"), second = Tree(b.Path() / "m");
        EXPECT_GT(first.size(), 20u);
        EXPECT_TRUE(first == second) << "family " << static_cast<int>(family);
    }
}

TEST(DemoMachine, RefusesAnExistingMachineAndKeepsTheSelection) {
    test::TempMachine m;
    const fs::path selected = MachineRoot();
    test::TempDir d;
    tarnel::CreateDemoMachine(d.Path() / "demo", TMachineFamily::NT);
    EXPECT_EQ(MachineRoot(), selected);
    EXPECT_TRUE(fs::exists(d.Path() / "demo/system.reg"));

    const std::string before = ReadWholeFile(m.Root() / "system.reg");
    EXPECT_THROW(tarnel::CreateDemoMachine(m.Root(), TMachineFamily::NT), EFileError);
    EXPECT_EQ(ReadWholeFile(m.Root() / "system.reg"), before);
    EXPECT_EQ(MachineRoot(), selected);
}
