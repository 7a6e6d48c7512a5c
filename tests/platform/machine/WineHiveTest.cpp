#include "platform/machine/WineHive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel::platform;
using namespace tarnel::platform::wine;

namespace {

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::unique_ptr<Hive> ParseText(const std::string& text) { return Hive::Parse(text, "test.reg", "REGISTRY\\Machine"); }

// Every key and value of a hive, in enumeration order, as comparable text.
std::string Dump(Hive& hive) {
    std::string out;
    static const char* kHex = "0123456789abcdef";
    std::function<void(HiveKey&, const std::string&)> walk = [&](HiveKey& k, const std::string& path) {
        out += "[" + path + "]\n";
        for (const HiveValue* v : k.Values()) {
            out += "  " + v->name + " " + std::to_string(v->type) + " ";
            for (uint8_t b : v->data) {
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            out += "\n";
        }
        for (HiveKey* c : k.Children()) walk(*c, path + "\\" + c->Name());
    };
    walk(hive.Root(), "");
    return out;
}

std::vector<uint8_t> Utf16z(std::u16string s) {
    std::vector<uint8_t> out;
    s += u'\0';
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}

// The file's lines without the key times, which change whenever a key does.
std::vector<std::string> LinesWithoutTimes(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("#time=", 0) == 0) continue;
        if (!line.empty() && line[0] == '[') line = line.substr(0, line.rfind(']') + 1);
        lines.push_back(line);
    }
    return lines;
}

std::string ParseError(const std::string& text) {
    try {
        Hive::Parse(text, "/some/dir/broken.reg", "REGISTRY\\Machine");
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "(no error)";
}

const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n";

}  // namespace

// ------------------------------------------------------------- real hives

TEST(WineHive, RealWineHivesRoundTripByteForByte) {
    for (const char* name : {"wine/system.reg", "wine/user.reg"}) {
        std::string original = Slurp(tarnel::test::TestData(name));
        ASSERT_GT(original.size(), 1000u) << name;
        auto hive = Hive::Parse(original, name, "REGISTRY\\Machine");
        EXPECT_EQ(hive->Serialize(), original) << name;
    }
}

TEST(WineHive, RealWineHiveKnowsItsValues) {
    auto hive = Hive::Parse(Slurp(tarnel::test::TestData("wine/system.reg")), "system.reg", "REGISTRY\\Machine");
    HiveKey* nt = hive->Find({"Software", "Microsoft", "Windows NT", "CurrentVersion"});
    ASSERT_NE(nt, nullptr);
    const HiveValue* v = nt->FindValue("currentbuildnumber");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->name, "CurrentBuildNumber");
    EXPECT_EQ(v->type, uint32_t(kRegSz));
    // A symbolic link key keeps its target and its "#link" line.
    HiveKey* link = hive->Find({"Software", "Wow6432Node", "Classes"});
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->IsLink());
    ASSERT_NE(link->FindValue("SymbolicLinkValue"), nullptr);
    EXPECT_EQ(link->FindValue("SymbolicLinkValue")->type, uint32_t(kRegLink));
}

// Rewriting every value from its parsed data must give Wine's own text back:
// the formatter is held to thousands of values Wine wrote itself.
TEST(WineHive, EveryRealValueFormatsAsWineWroteIt) {
    for (const char* name : {"wine/system.reg", "wine/user.reg"}) {
        std::string original = Slurp(tarnel::test::TestData(name));
        auto hive = Hive::Parse(original, name, "REGISTRY\\Machine");
        size_t count = 0;
        std::function<void(HiveKey&)> rewrite = [&](HiveKey& k) {
            for (const HiveValue* v : k.Values()) {
                HiveValue copy = *v;
                k.SetValue(copy.name, copy.type, copy.data);
                ++count;
            }
            for (HiveKey* c : k.Children()) rewrite(*c);
        };
        rewrite(hive->Root());
        EXPECT_GT(count, 100u);
        std::string rewritten = hive->Serialize();
        EXPECT_NE(rewritten, original);  // the times did change
        EXPECT_EQ(LinesWithoutTimes(rewritten), LinesWithoutTimes(original)) << name;
    }
}

TEST(WineHive, ChangedRealHiveReparsesToTheSameTree) {
    auto hive = Hive::Parse(Slurp(tarnel::test::TestData("wine/system.reg")), "system.reg", "REGISTRY\\Machine");
    HiveKey& drivers = hive->Create({"Software", "Microsoft", "Windows NT", "CurrentVersion", "Drivers32"});
    drivers.SetValue("vidc.abcd", kRegSz, Utf16z(u"abcd32.dll"));
    drivers.SetValue("msacm.imaadpcm", kRegSz, Utf16z(u"other.acm"));
    hive->Create({"Software", "Halvorin", "Drivers.Inactive"}).SetValue("#001#", kRegBinary, {0x61, 0, 0x20, 0});
    ASSERT_TRUE(hive->Remove({"Software", "Classes", "Wow6432Node", "TypeLib"}));
    std::string expected = Dump(*hive);

    auto again = Hive::Parse(hive->Serialize(), "system.reg", "REGISTRY\\Machine");
    EXPECT_EQ(Dump(*again), expected);
    EXPECT_EQ(again->Find({"Software", "Classes", "Wow6432Node", "TypeLib"}), nullptr);
}

// ------------------------------------------------------------- text format

TEST(WineHive, EscapesDecodeToUtf16Units) {
    auto hive = ParseText(kHeader +
                          "\n[Esc] 0\n"
                          "\"path\"=\"C:\\\\dir\\\\a \\\"q\\\"\"\n"
                          "\"ctl\"=\"a\\nb\\rc\\td\\0e\"\n"
                          "\"hex\"=\"\\x263a\\x41z\\xe9\"\n"
                          "\"oct\"=\"\\101\\1019\"\n"
                          "\"utf8\"=\"caf\xc3\xa9 \xf0\x9f\x98\x80\"\n"
                          "\"na\\x00efve\"=\"x\"\n");
    HiveKey* k = hive->Find({"esc"});
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->FindValue("path")->data, Utf16z(u"C:\\dir\\a \"q\""));
    EXPECT_EQ(k->FindValue("ctl")->data, Utf16z(std::u16string(u"a\nb\rc\td\0e", 9)));
    EXPECT_EQ(k->FindValue("hex")->data, Utf16z(u"\u263a" u"Az\u00e9"));
    EXPECT_EQ(k->FindValue("oct")->data, Utf16z(u"AA9"));
    EXPECT_EQ(k->FindValue("utf8")->data, Utf16z(u"caf\u00e9 \U0001F600"));
    // Names come out as UTF-8.
    EXPECT_NE(k->FindValue("na\xc3\xafve"), nullptr);
}

TEST(WineHive, TrickyTextSurvivesFormatAndParse) {
    const std::u16string samples[] = {
        u"\u263a" u"beef",                   // a hex escape followed by hex digits
        u"\u00e9" u"9",                      // short hex escape would swallow the digit
        std::u16string(u"\0" u"7x\x01" u"5", 5),  // octal escapes followed by octal digits
        u"quote\" back\\slash [br]",
        u"\x1b\a\b\v\f",
        std::u16string(1, char16_t(0xd800)),  // a lone surrogate
    };
    for (const auto& s : samples) {
        for (uint32_t type : {uint32_t(kRegSz), uint32_t(kRegExpandSz), uint32_t(kRegMultiSz)}) {
            std::vector<uint8_t> data = Utf16z(s);
            std::string name = UnitsToUtf8(s.substr(0, 3)) + "n";
            std::string text = kHeader + "\n[K] 0\n" + FormatValue(name, type, data);
            auto hive = ParseText(text);
            const HiveValue* v = hive->Find({"K"})->FindValue(name);
            ASSERT_NE(v, nullptr) << text;
            EXPECT_EQ(v->type, type);
            EXPECT_EQ(v->data, data) << text;
        }
    }
}

TEST(WineHive, ValueTypesAndTheirForms) {
    auto hive = ParseText(kHeader +
                          "\n[T] 0\n"
                          "@=\"default\"\n"
                          "\"s\"=str:\"plain\"\n"
                          "\"e\"=str(2):\"%SystemRoot%\"\n"
                          "\"m\"=str(7):\"a\\0b\\0\"\n"
                          "\"d\"=dword:0000002a\n"
                          "\"b\"=hex:01,02,ff\n"
                          "\"empty\"=hex:\n"
                          "\"q\"=hex(b):01,00,00,00,00,00,00,00\n"
                          "\"odd\"=hex(1):41,00\n");
    HiveKey* k = hive->Find({"T"});
    EXPECT_EQ(k->FindValue("")->data, Utf16z(u"default"));
    EXPECT_EQ(k->FindValue("s")->type, uint32_t(kRegSz));
    EXPECT_EQ(k->FindValue("e")->type, uint32_t(kRegExpandSz));
    EXPECT_EQ(k->FindValue("m")->data, Utf16z(std::u16string(u"a\0b\0", 4)));
    EXPECT_EQ(k->FindValue("d")->data, (std::vector<uint8_t>{42, 0, 0, 0}));
    EXPECT_EQ(k->FindValue("b")->data, (std::vector<uint8_t>{1, 2, 255}));
    EXPECT_TRUE(k->FindValue("empty")->data.empty());
    EXPECT_EQ(k->FindValue("q")->type, uint32_t(kRegQword));
    // A string without its terminating zero cannot be written as text.
    EXPECT_EQ(FormatValue("odd", kRegSz, {0x41, 0}), "\"odd\"=hex(1):41,00\n");
    EXPECT_EQ(FormatValue("", kRegDword, {1, 2, 3}), "@=hex(4):01,02,03\n");
    EXPECT_EQ(FormatValue("x", kRegDword, {0x78, 0x56, 0x34, 0x12}), "\"x\"=dword:12345678\n");
}

TEST(WineHive, ContinuationLines) {
    auto hive = ParseText(kHeader +
                          "\n[C] 0\n"
                          "\"bin\"=hex:01,02,\\\n"
                          "  03,04,\\\n"
                          "\t05\n"
                          "\"text\"=\"first \\\n"
                          "    second\"\n"
                          "\"after\"=dword:00000001\n");
    HiveKey* k = hive->Find({"C"});
    EXPECT_EQ(k->FindValue("bin")->data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(k->FindValue("text")->data, Utf16z(u"first second"));
    EXPECT_NE(k->FindValue("after"), nullptr);

    // Long data wraps as Wine wraps it: lines stay within 80 columns and read back.
    std::vector<uint8_t> big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
    std::string text = FormatValue("FilterData", kRegBinary, big);
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 80u) << line;
        ++count;
    }
    EXPECT_GT(count, 3);
    EXPECT_EQ(ParseText(kHeader + "\n[K] 0\n" + text)->Find({"K"})->FindValue("FilterData")->data, big);
}

TEST(WineHive, ParseErrorsNameFileAndLine) {
    struct Case {
        std::string text;
        int line;
    } cases[] = {
        {"REGEDIT4\n\n[A]\n", 1},
        {kHeader + "\n[A] 0\n\"v\"=\"unterminated\n\"w\"=\"x\"\n", 5},
        {kHeader + "\n[A] 0\n\"v\"=hex:01,zz\n", 5},
        {kHeader + "\n[A] 0\n\"v\"=dword:123456789\n", 5},
        {kHeader + "\n\"v\"=\"outside\"\n", 4},
        {kHeader + "\n[A] 0\n\"v\"=blob:00\n", 5},
        {kHeader + "\n[A] 0\n\"v\" \"missing equals\"\n", 5},
        {kHeader + "\n[A] 0\n\"ok\"=\"x\"\nrandom words\n", 6},
        {kHeader + "\n[A unterminated\n", 4},
        {kHeader + "\n[A] 0\n\"v\"=hex:01,\\\n", 5},
    };
    for (const auto& c : cases) {
        std::string msg = ParseError(c.text);
        EXPECT_NE(msg.find("/some/dir/broken.reg"), std::string::npos) << msg;
        EXPECT_NE(msg.find("line " + std::to_string(c.line) + ":"), std::string::npos) << msg << "\n" << c.text;
    }
}

// ------------------------------------------------------------- the tree

TEST(WineHive, NamesIgnoreCaseAndKeepTheirSpelling) {
    auto hive = ParseText(kHeader + "\n[Software\\\\Mixed] 0\n\"Value\"=\"1\"\n\"other\"=\"2\"\n");
    HiveKey* k = hive->Find({"SOFTWARE", "mixed"});
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Name(), "Mixed");
    EXPECT_EQ(&hive->Create({"software", "MIXED"}), k);
    k->SetValue("VALUE", kRegSz, Utf16z(u"3"));
    auto values = k->Values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0]->name, "Value");  // replaced in place, old spelling
    EXPECT_EQ(values[0]->data, Utf16z(u"3"));
    EXPECT_TRUE(k->DeleteValue("OTHER"));
    EXPECT_FALSE(k->DeleteValue("other"));
}

TEST(WineHive, NewItemsFollowInCreationOrderNotSorted) {
    auto hive = ParseText(kHeader + "\n[M] 0\n\"m\"=\"1\"\n\n[B] 0\n\"b\"=\"1\"\n");
    hive->Create({"Z"}).SetValue("z2", kRegDword, {1, 0, 0, 0});
    hive->Create({"A"});
    hive->Find({"Z"})->SetValue("z1", kRegDword, {2, 0, 0, 0});
    hive->Find({"M"})->SetValue("a", kRegSz, Utf16z(u"x"));
    std::string text = hive->Serialize();
    size_t m = text.find("[M]"), b = text.find("[B]"), z = text.find("[Z]"), a = text.find("[A]");
    ASSERT_TRUE(m != std::string::npos && b != std::string::npos && z != std::string::npos && a != std::string::npos);
    EXPECT_LT(m, b);
    EXPECT_LT(b, z);
    EXPECT_LT(z, a);
    EXPECT_LT(text.find("\"z2\""), text.find("\"z1\""));
    EXPECT_LT(text.find("\"m\""), text.find("\"a\""));
    EXPECT_LT(text.find("\"a\""), b);  // a new value stays in its key's section

    auto again = ParseText(text);
    std::vector<std::string> names;
    for (HiveKey* c : again->Root().Children()) names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"M", "B", "Z", "A"}));
}

TEST(WineHive, ManyDeletionsKeepOrderAndLookups) {
    Hive hive("REGISTRY\\Machine");
    HiveKey& k = hive.Create({"Many"});
    for (int i = 0; i < 200; ++i) k.SetValue("v" + std::to_string(i), kRegDword, {uint8_t(i), 0, 0, 0});
    for (int i = 0; i < 200; i += 3) ASSERT_TRUE(k.DeleteValue("V" + std::to_string(i)));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(k.FindValue("v" + std::to_string(i)) != nullptr, i % 3 != 0) << i;
    auto values = k.Values();
    ASSERT_EQ(values.size(), k.ValueCount());
    for (size_t j = 1; j < values.size(); ++j) EXPECT_LT(values[j - 1]->data[0], values[j]->data[0]);
    k.SetValue("v0", kRegDword, {0, 0, 0, 0});
    EXPECT_EQ(k.Values().back()->name, "v0");
}

TEST(WineHive, EnumerationByPlaceFollowsDeletionsAndAdditions) {
    Hive hive("REGISTRY\\Machine");
    HiveKey& k = hive.Create({"Places"});
    auto byPlace = [&] {
        std::vector<std::string> names;
        for (size_t i = 0; const HiveValue* v = k.ValueAt(i); ++i) names.push_back(v->name);
        return names;
    };
    auto listed = [&] {
        std::vector<std::string> names;
        for (const HiveValue* v : k.Values()) names.push_back(v->name);
        return names;
    };
    for (int i = 0; i < 40; ++i) k.SetValue("v" + std::to_string(i), kRegDword, {uint8_t(i), 0, 0, 0});
    // A few tombstones, too few to be compacted away, then more changes.
    for (int i : {3, 7, 8, 20}) ASSERT_TRUE(k.DeleteValue("v" + std::to_string(i)));
    EXPECT_EQ(byPlace(), listed());
    k.SetValue("new", kRegDword, {1, 0, 0, 0});
    EXPECT_EQ(byPlace(), listed());
    EXPECT_EQ(k.ValueAt(k.ValueCount() - 1)->name, "new");
    ASSERT_TRUE(k.DeleteValue("v0"));
    EXPECT_EQ(byPlace(), listed());
    EXPECT_EQ(k.ValueAt(0)->name, "v1");
    EXPECT_EQ(k.ValueAt(k.ValueCount()), nullptr);
    k.SetValue("v1", kRegDword, {9, 0, 0, 0});  // replaced in place: the order stays
    EXPECT_EQ(byPlace(), listed());
    EXPECT_EQ(k.ValueAt(0)->data[0], 9);
}

TEST(WineHive, KeysImpliedBySubkeysSurvive) {
    // Wine writes no section for a key that only has subkeys.
    auto hive = ParseText(kHeader + "\n[Outer\\\\Inner] 0\n\"v\"=\"1\"\n");
    ASSERT_NE(hive->Find({"Outer"}), nullptr);
    EXPECT_EQ(hive->Serialize().find("[Outer]"), std::string::npos);
    ASSERT_TRUE(hive->Remove({"Outer", "Inner"}));
    auto again = ParseText(hive->Serialize());
    EXPECT_NE(again->Find({"Outer"}), nullptr);
    EXPECT_EQ(again->Find({"Outer", "Inner"}), nullptr);
}

TEST(WineHive, DuplicateSectionsMergeAndEmptyTextIsAnEmptyHive) {
    auto hive = ParseText(kHeader + "\n[D] 0\n\"a\"=\"1\"\n\n[d] 0\n\"b\"=\"2\"\n\"A\"=\"3\"\n");
    HiveKey* k = hive->Find({"D"});
    ASSERT_EQ(k->ValueCount(), 2u);
    EXPECT_EQ(k->FindValue("a")->data, Utf16z(u"3"));

    auto empty = ParseText("");
    EXPECT_EQ(empty->Root().ChildCount(), 0u);
    empty->Create({"New"}).SetValue("x", kRegSz, Utf16z(u"y"));
    std::string text = empty->Serialize();
    EXPECT_EQ(text.rfind(kHeader, 0), 0u) << text;
    EXPECT_NE(text.find("\n[New] "), std::string::npos);
    EXPECT_NE(text.find("\n#time="), std::string::npos);
    EXPECT_EQ(ParseText(text)->Find({"new"})->FindValue("x")->data, Utf16z(u"y"));
}
