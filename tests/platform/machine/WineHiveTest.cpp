#include "platform/machine/WineHive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "platform/api/Registry.h"
#include "support/TempMachine.h"
#include "support/Seed.h"

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
        out += "[" + path + "]";
        if (k.IsLink()) out += " link";
        if (!k.Class().empty()) out += " class=" + k.Class();
        out += "\n";
        for (const HiveValue* v : k.Values()) {
            out += "  " + std::string(v->Name()) + " " + std::to_string(v->Type()) + " ";
            for (uint8_t b : v->Data()) {
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            out += "\n";
        }
        for (HiveKey* c : k.Children()) walk(*c, path + "\\" + std::string(c->Name()));
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
    EXPECT_EQ(v->Name(), "CurrentBuildNumber");
    EXPECT_EQ(v->Type(), uint32_t(kRegSz));
    // A symbolic link key keeps its target and its "#link" line.
    HiveKey* link = hive->Find({"Software", "Wow6432Node", "Classes"});
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->IsLink());
    ASSERT_NE(link->FindValue("SymbolicLinkValue"), nullptr);
    EXPECT_EQ(link->FindValue("SymbolicLinkValue")->Type(), uint32_t(kRegLink));
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
                k.SetValue(std::string(v->Name()), v->Type(), v->Data());
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
    EXPECT_EQ(k->FindValue("path")->Data(), Utf16z(u"C:\\dir\\a \"q\""));
    EXPECT_EQ(k->FindValue("ctl")->Data(), Utf16z(std::u16string(u"a\nb\rc\td\0e", 9)));
    EXPECT_EQ(k->FindValue("hex")->Data(), Utf16z(u"\u263a" u"Az\u00e9"));
    EXPECT_EQ(k->FindValue("oct")->Data(), Utf16z(u"AA9"));
    EXPECT_EQ(k->FindValue("utf8")->Data(), Utf16z(u"caf\u00e9 \U0001F600"));
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
            EXPECT_EQ(v->Type(), type);
            EXPECT_EQ(v->Data(), data) << text;
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
    EXPECT_EQ(k->FindValue("")->Data(), Utf16z(u"default"));
    EXPECT_EQ(k->FindValue("s")->Type(), uint32_t(kRegSz));
    EXPECT_EQ(k->FindValue("e")->Type(), uint32_t(kRegExpandSz));
    EXPECT_EQ(k->FindValue("m")->Data(), Utf16z(std::u16string(u"a\0b\0", 4)));
    EXPECT_EQ(k->FindValue("d")->Data(), (std::vector<uint8_t>{42, 0, 0, 0}));
    EXPECT_EQ(k->FindValue("b")->Data(), (std::vector<uint8_t>{1, 2, 255}));
    EXPECT_TRUE(k->FindValue("empty")->Data().empty());
    EXPECT_EQ(k->FindValue("q")->Type(), uint32_t(kRegQword));
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
    EXPECT_EQ(k->FindValue("bin")->Data(), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(k->FindValue("text")->Data(), Utf16z(u"first second"));
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
    EXPECT_EQ(ParseText(kHeader + "\n[K] 0\n" + text)->Find({"K"})->FindValue("FilterData")->Data(), big);
}

TEST(WineHive, ParseErrorsNameFileAndLine) {
    // Only what is no registry file at all, or nests keys deeper than
    // Windows can, is refused.
    std::string deep;
    for (int i = 0; i < 513; ++i) deep += "k\\\\";
    struct Case {
        std::string text;
        int line;
    } errors[] = {
        {"REGEDIT4\n\n[A]\n", 1},
        {"\n" + kHeader, 1},
        {kHeader + "\n[A] 0\n[" + deep + "] 0\n", 5},
    };
    for (const auto& c : errors) {
        std::string msg = ParseError(c.text);
        EXPECT_EQ(msg.rfind("Bad registry file '/some/dir/broken.reg' at line " + std::to_string(c.line) + ": ", 0),
                  0u)
            << msg;
    }

    // Every other bad line is kept and reported by file and line, as Wine's
    // loader reports and skips it.
    Case warned[] = {
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
    for (const auto& c : warned) {
        std::unique_ptr<Hive> hive;
        ASSERT_NO_THROW(hive = Hive::Parse(c.text, "/some/dir/broken.reg", "REGISTRY\\Machine")) << c.text;
        ASSERT_EQ(hive->Warnings().size(), 1u) << c.text;
        EXPECT_EQ(hive->Warnings()[0].rfind("Registry file '/some/dir/broken.reg' at line " +
                                                std::to_string(c.line) + ": ",
                                            0),
                  0u)
            << hive->Warnings()[0];
        EXPECT_EQ(hive->Serialize(), c.text);
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
    EXPECT_EQ(values[0]->Name(), "Value");  // replaced in place, old spelling
    EXPECT_EQ(values[0]->Data(), Utf16z(u"3"));
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
    for (HiveKey* c : again->Root().Children()) names.emplace_back(c->Name());
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
    for (size_t j = 1; j < values.size(); ++j) EXPECT_LT(values[j - 1]->Data()[0], values[j]->Data()[0]);
    k.SetValue("v0", kRegDword, {0, 0, 0, 0});
    EXPECT_EQ(k.Values().back()->Name(), "v0");
}

TEST(WineHive, EnumerationByPlaceFollowsDeletionsAndAdditions) {
    Hive hive("REGISTRY\\Machine");
    HiveKey& k = hive.Create({"Places"});
    auto byPlace = [&] {
        std::vector<std::string> names;
        for (size_t i = 0; const HiveValue* v = k.ValueAt(i); ++i) names.emplace_back(v->Name());
        return names;
    };
    auto listed = [&] {
        std::vector<std::string> names;
        for (const HiveValue* v : k.Values()) names.emplace_back(v->Name());
        return names;
    };
    for (int i = 0; i < 40; ++i) k.SetValue("v" + std::to_string(i), kRegDword, {uint8_t(i), 0, 0, 0});
    // A few tombstones, too few to be compacted away, then more changes.
    for (int i : {3, 7, 8, 20}) ASSERT_TRUE(k.DeleteValue("v" + std::to_string(i)));
    EXPECT_EQ(byPlace(), listed());
    k.SetValue("new", kRegDword, {1, 0, 0, 0});
    EXPECT_EQ(byPlace(), listed());
    EXPECT_EQ(k.ValueAt(k.ValueCount() - 1)->Name(), "new");
    ASSERT_TRUE(k.DeleteValue("v0"));
    EXPECT_EQ(byPlace(), listed());
    EXPECT_EQ(k.ValueAt(0)->Name(), "v1");
    EXPECT_EQ(k.ValueAt(k.ValueCount()), nullptr);
    k.SetValue("v1", kRegDword, {9, 0, 0, 0});  // replaced in place: the order stays
    EXPECT_EQ(byPlace(), listed());
    EXPECT_EQ(k.ValueAt(0)->Data()[0], 9);
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
    EXPECT_EQ(k->FindValue("a")->Data(), Utf16z(u"3"));

    auto empty = ParseText("");
    EXPECT_EQ(empty->Root().ChildCount(), 0u);
    empty->Create({"New"}).SetValue("x", kRegSz, Utf16z(u"y"));
    std::string text = empty->Serialize();
    EXPECT_EQ(text.rfind(kHeader, 0), 0u) << text;
    EXPECT_NE(text.find("\n[New] "), std::string::npos);
    EXPECT_NE(text.find("\n#time="), std::string::npos);
    EXPECT_EQ(ParseText(text)->Find({"new"})->FindValue("x")->Data(), Utf16z(u"y"));
}

// ------------------------------------------------------------- odd lines

namespace {

std::vector<int> WarnedLines(const Hive& hive, const std::string& file) {
    std::vector<int> lines;
    const std::string prefix = "Registry file '" + file + "' at line ";
    for (const auto& w : hive.Warnings()) {
        EXPECT_EQ(w.rfind(prefix, 0), 0u) << w;
        lines.push_back(std::atoi(w.c_str() + prefix.size()));
    }
    return lines;
}

std::vector<std::string> ValueNames(const HiveKey& k) {
    std::vector<std::string> names;
    for (size_t i = 0; i < k.ValueCount(); ++i) names.emplace_back(k.ValueAt(i)->Name());
    return names;
}

}  // namespace

TEST(WineHive, OddLinesAreKeptAndReadAsWineReadsThem) {
    const std::string text = kHeader +
                             "\"early\"=\"before any key\"\n"    // 3: outside any key
                             "\n[K] 0\n"                         // 4-5
                             "\"tail\"=\"x\" junk\n"             // 6: text after the data
                             "\"big\"=dword:123456789\n"         // 7: low 32 bits
                             "\"huge\"=dword:123456789abcdef01\n"  // 8: past 64 bits: all ones
                             "\"none\"=dword:zz\n"               // 9: no digits: 0
                             "\v\"vt\"=\"tab\"\n"                // 10: a vertical tab is blank space
                             "\f#link\n"                         // 11: so is a form feed (both reported)
                             "what is this\n"                    // 12
                             "\"bad\"=hex:01,zz\n"               // 13: empty, type 0
                             "\"open\"=\"no end\n"               // 14: empty, type 0
                             "\"noeq\" \"x\"\n"                  // 15: no value at all
                             "\"after\"=dword:00000001\n"        // 16
                             "\n[Broken\n"                       // 17-18: refused head...
                             "\"lost\"=\"1\"\n"                  // 19: ...and what it rules
                             "\n[L] 0\n"                         // 20-21
                             "\"l\"=\"1\"\n";                    // 22
    auto hive = ParseText(text);
    EXPECT_EQ(hive->Serialize(), text);
    EXPECT_EQ(WarnedLines(*hive, "test.reg"), (std::vector<int>{3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 19}));

    HiveKey* k = hive->Find({"K"});
    ASSERT_NE(k, nullptr);
    EXPECT_TRUE(k->IsLink());
    EXPECT_EQ(ValueNames(*k),
              (std::vector<std::string>{"tail", "big", "huge", "none", "vt", "bad", "open", "after"}));
    EXPECT_EQ(k->FindValue("tail")->Data(), Utf16z(u"x"));
    EXPECT_EQ(k->FindValue("big")->Data(), (std::vector<uint8_t>{0x89, 0x67, 0x45, 0x23}));
    EXPECT_EQ(k->FindValue("huge")->Data(), (std::vector<uint8_t>{0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(k->FindValue("none")->Data(), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(k->FindValue("vt")->Data(), Utf16z(u"tab"));
    for (const char* name : {"bad", "open"}) {
        const HiveValue* v = k->FindValue(name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_EQ(v->Type(), uint32_t(kRegNone)) << name;
        EXPECT_TRUE(v->Data().empty()) << name;
    }
    EXPECT_EQ(hive->Find({"Broken"}), nullptr);
    EXPECT_EQ(k->FindValue("lost"), nullptr);
    EXPECT_EQ(hive->Root().ChildCount(), 2u);

    // Changes elsewhere leave every odd line where it stood.
    hive->Find({"L"})->SetValue("l", kRegSz, Utf16z(u"2"));
    k->SetValue("after", kRegDword, {2, 0, 0, 0});
    k->SetValue("new", kRegDword, {3, 0, 0, 0});
    std::string saved = hive->Serialize();
    size_t at = 0;
    for (const char* piece : {"\"early\"", "\" junk\n", "dword:123456789\n", "\f#link\n", "what is this\n",
                              "\"bad\"=hex:01,zz\n", "\"open\"=\"no end\n", "\"noeq\" \"x\"\n",
                              "\"after\"=dword:00000002\n", "\"new\"=dword:00000003\n", "\n[Broken\n\"lost\"=\"1\"\n",
                              "\"l\"=\"2\"\n"}) {
        size_t found = saved.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << "\n" << saved;
        at = found;
    }
    auto again = ParseText(saved);
    EXPECT_EQ(Dump(*again), Dump(*hive));

    // A file of nothing but bad lines does not flood the log.
    std::string noisy = kHeader;
    for (int i = 0; i < 500; ++i) noisy += "junk\n";
    auto flooded = ParseText(noisy);
    ASSERT_EQ(flooded->Warnings().size(), 101u);
    EXPECT_NE(flooded->Warnings().back().find("400 more"), std::string::npos) << flooded->Warnings().back();
}

TEST(WineHive, OptionLinesCountWhereverTheyStandInTheSection) {
    auto hive = ParseText(kHeader +
                          "\n[A] 0\n\"v\"=\"1\"\n#link\n"
                          "\n[B] 0\n#time=1d\n\"v\"=\"1\"\n;; note\n#class=\"Cl\\x263a\"\n\"w\"=\"2\"\n"
                          "\n[C] 0\n\"v\"=\"1\"\n"
                          "\n[C] 0\n#link\n"
                          "\n[D] 0\n#linked\n"  // Wine takes any line starting "#link"
                          "\n[E] 0\n\"v\"=\"1\"\n#class=\"unterminated\n");
    std::string flags;
    for (const char* name : {"A", "B", "C", "D", "E"}) flags += hive->Find({name})->IsLink() ? 'L' : '-';
    EXPECT_EQ(flags, "L-LL-");
    EXPECT_EQ(hive->Find({"B"})->Class(), "Cl\xe2\x98\xba");
    EXPECT_EQ(hive->Find({"E"})->Class(), "");
    EXPECT_EQ(ValueNames(*hive->Find({"B"})), (std::vector<std::string>{"v", "w"}));

    // Changed keys keep their options.
    std::string before = Dump(*hive);
    for (HiveKey* k : hive->Root().Children()) k->SetValue("x", kRegSz, Utf16z(u"y"));
    auto again = ParseText(hive->Serialize());
    for (const char* name : {"A", "B", "C", "D", "E"})
        EXPECT_EQ(again->Find({name})->IsLink(), hive->Find({name})->IsLink()) << name;
    EXPECT_EQ(again->Find({"B"})->Class(), "Cl\xe2\x98\xba");
    EXPECT_EQ(Dump(*again), Dump(*hive));
    EXPECT_NE(Dump(*again), before);
}

TEST(WineHive, CrlfHiveStaysCrlfWhereItIsRewritten) {
    const std::string lf = kHeader +
                           "\n[A] 0\n#time=1\n\"a\"=\"1\"\n\"b\"=\"2\"\n"
                           "\n[B\\\\C] 0\n\"c\"=\"3\"\n"
                           "\n[D] 0\n\"d\"=\"4\"\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

    for (const std::string& text : {lf, crlf}) {
        bool isCrlf = text.find('\r') != std::string::npos;
        auto hive = ParseText(text);
        EXPECT_EQ(hive->Serialize(), text);
        hive->SetClockForTesting(1700000000);
        HiveKey* a = hive->Find({"A"});
        a->SetValue("a", kRegSz, Utf16z(u"changed"));
        a->DeleteValue("b");
        std::vector<uint8_t> big(200, 0xab);  // wraps over several lines
        a->SetValue("wide", kRegBinary, big);
        hive->Create({"New"}).SetValue("n", kRegSz, Utf16z(u"x"));
        ASSERT_TRUE(hive->Remove({"B", "C"}));  // B now needs a head of its own
        std::string out = hive->Serialize();
        size_t bare = 0, pairs = 0;
        for (size_t i = 0; i < out.size(); ++i)
            if (out[i] == '\n') ++(i > 0 && out[i - 1] == '\r' ? pairs : bare);
        if (isCrlf) {
            EXPECT_EQ(bare, 0u) << out;
        } else {
            EXPECT_EQ(pairs, 0u) << out;
        }
        EXPECT_GT(bare + pairs, 15u);
        auto again = ParseText(out);
        EXPECT_EQ(Dump(*again), Dump(*hive));
        EXPECT_EQ(again->Find({"A"})->FindValue("wide")->Data(), big);
        EXPECT_NE(again->Find({"B"}), nullptr);
    }
}

TEST(WineHive, DeletingAValueKeepsTheCommentsBeforeIt) {
    auto hive = ParseText(kHeader +
                          "\n[K] 0\n;; first\n\"a\"=\"1\"\n\n;; second\n\"b\"=\"2\"\n;; last\n\"c\"=\"3\"\n"
                          "\n[M] 0\n\"m\"=\"1\"\n");
    HiveKey* k = hive->Find({"K"});
    ASSERT_TRUE(k->DeleteValue("a"));
    ASSERT_TRUE(k->DeleteValue("c"));
    k->SetValue("d", kRegSz, Utf16z(u"4"));
    EXPECT_EQ(LinesWithoutTimes(hive->Serialize()),
              (std::vector<std::string>{"WINE REGISTRY Version 2", ";; All keys relative to REGISTRY\\\\Machine", "",
                                        "[K]", ";; first", "", ";; second", "\"b\"=\"2\"", ";; last", "\"d\"=\"4\"",
                                        "", "[M]", "\"m\"=\"1\""}));
}

// ------------------------------------------------------------- hardening

TEST(WineHive, NestingPastWindowsLimitIsRefusedWithoutExhaustingTheStack) {
    // One head 150 000 levels deep (450 KB).
    std::string path;
    path.reserve(450000);
    for (int i = 0; i < 150000; ++i) path += i ? "\\\\a" : "a";
    std::string msg = ParseError(kHeader + "\n[" + path + "] 0\n\"v\"=\"1\"\n");
    EXPECT_EQ(msg.rfind("Bad registry file '/some/dir/broken.reg' at line 4: ", 0), 0u) << msg.substr(0, 200);
    EXPECT_NE(msg.find("512"), std::string::npos);

    // 512 levels are read, changed and written back.
    std::string ok;
    std::vector<std::string> parts;
    for (int i = 0; i < 512; ++i) {
        ok += i ? "\\\\k" : "k";
        parts.push_back(i % 2 ? "k" : "K");
    }
    const std::string text = kHeader + "\n[" + ok + "] 0\n\"v\"=\"1\"\n";
    auto hive = ParseText(text);
    EXPECT_EQ(hive->Serialize(), text);
    HiveKey* deepest = hive->Find(parts);
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(deepest->Path().size(), 512u);
    deepest->SetValue("w", kRegDword, {1, 0, 0, 0});
    EXPECT_EQ(Dump(*ParseText(hive->Serialize())), Dump(*hive));

    // Nor can the hive be made deeper.
    EXPECT_THROW(deepest->CreateChild("more"), ERegistryException);
    EXPECT_EQ(deepest->ChildCount(), 0u);
    EXPECT_THROW(Hive("REGISTRY\\Machine").Create(std::vector<std::string>(600, "x")), ERegistryException);
}

// ------------------------------------------------------------- round trips

namespace {

// Changes every key the same way: its first value set, its last deleted, one
// added; a key made; the first subkey of the first key below the root that
// has one removed.
void EditEverything(Hive& hive) {
    std::vector<HiveKey*> keys, stack{&hive.Root()};
    while (!stack.empty()) {
        HiveKey* k = stack.back();
        stack.pop_back();
        keys.push_back(k);
        for (HiveKey* c : k->Children()) stack.push_back(c);
    }
    for (HiveKey* k : keys) {
        size_t n = k->ValueCount();
        if (n) k->SetValue(std::string(k->ValueAt(0)->Name()), kRegSz, Utf16z(u"changed"));
        if (n > 1) k->DeleteValue(std::string(k->ValueAt(n - 1)->Name()));
        k->SetValue("added", kRegDword, {7, 0, 0, 0});
    }
    hive.Create({"Fresh", "Sub"});
    for (HiveKey* k : keys)
        if (k->Parent() && k->ChildCount()) {
            k->RemoveChild(std::string(k->ChildAt(0)->Name()));
            break;
        }
}

}  // namespace

TEST(WineHive, TrickyInputsReadWriteAndReadAgainAlike) {
    const std::string inputs[] = {
        // A section named twice, the second time a link; also with another
        // key between, under which a misplaced "#link" would land.
        kHeader + "\n[int] 0\n\n[int] 0\n#link\n",
        kHeader + "\n[int] 0\n\n[other] 0\n\"v\"=\"1\"\n\n[int] 0\n#link\n",
        // Repeated values across repeated sections; options and comments anywhere.
        kHeader + "\n[K] 0\n\"a\"=\"1\"\n\n[Other] 0\n\"o\"=\"1\"\n\n[k] 0\n#class=\"c\"\n\"A\"=dword:00000002\n"
                  ";; between\n\"b\"=\"2\"\n\"a\"=hex:zz\n",
        // The default value under both of its spellings.
        kHeader + "\n[K] 0\n\"@\"=\"at sign\"\n@=\"default\"\n\"\"=\"empty name\"\n",
        // Escapes in key and value names.
        kHeader + "\n[Esc\\\\N\\x00e4me\\\\Br\\]ck\\\\\\x5cSplit] 0\n\"n\\x00e4\"=\"\\x263a\\\\\\\"\"\n"
                  "@=str(2):\"%x%\"\n\"tab\\there\"=str(7):\"a\\0b\\0\"\n",
        // Continued lines, indentation, spaces around '='.
        kHeader + "\n[C] 0\n\"bin\"=hex:01,02,\\\n  03\n\"t\"=\"a\\\n  b\"\n  \"sp\" = dword:1\n",
        // Keys first named by their subkeys, one getting its own section later.
        kHeader + "\n[A\\\\B] 0\n\"v\"=\"1\"\n\n[X] 0\n\n[A\\\\C] 0\n\n[A] 0\n\"own\"=\"1\"\n",
        // Values of the root; no line end at the end.
        kHeader + "\n[] 0\n\"rootv\"=\"1\"\n\n[K] 0\n\"v\"=\"1\"",
        // A continuation running into the end of the file.
        kHeader + "\n[K] 0\n\"v\"=hex:01,\\\n",
        // Lines Wine skips, before, inside and after sections.
        kHeader + "#arch=win64\n\"stray\"=\"1\"\n\n[K] 0\n\t#link\nodd line\n[Bad\n\"x\"=\"1\"\n\n[L] 0\n;; end\n",
        // A hive in CRLF with a comment trailer.
        "WINE REGISTRY Version 2\r\n\r\n[K] 0\r\n\"a\"=\"1\"\r\n\"b\"=hex:01,\\\r\n  02\r\n\r\n;; end\r\n",
    };
    for (const auto& text : inputs) {
        SCOPED_TRACE(text);
        auto hive = ParseText(text);
        EXPECT_EQ(hive->Serialize(), text);
        std::string dump = Dump(*hive);
        EXPECT_EQ(Dump(*ParseText(hive->Serialize())), dump);

        hive->SetClockForTesting(1700000000);
        EditEverything(*hive);
        std::string edited = Dump(*hive);
        EXPECT_NE(edited, dump);
        std::string saved = hive->Serialize();
        auto again = ParseText(saved);
        EXPECT_EQ(Dump(*again), edited) << saved;
        for (const HiveValue* v : again->Root().Values()) EXPECT_EQ(v->DataSize(), v->Data().size());
    }
}

TEST(WineHive, KeysKeepTheirPlaceWhenTheSectionNamingThemGoes) {
    auto hive = ParseText(kHeader +
                          "\n[X] 0\n\"x\"=\"1\"\n"
                          "\n[A\\\\K] 0\n\"k\"=\"1\"\n"
                          "\n[Y] 0\n\"y\"=\"1\"\n"
                          "\n[A\\\\L] 0\n\"l\"=\"1\"\n"
                          "\n[P\\\\Only] 0\n\"o\"=\"1\"\n"
                          "\n[Z] 0\n");
    ASSERT_TRUE(hive->Remove({"A", "K"}));     // A was first named there
    ASSERT_TRUE(hive->Remove({"P", "Only"}));  // P is left without subkeys
    auto again = ParseText(hive->Serialize());
    std::vector<std::string> names;
    for (size_t i = 0; i < again->Root().ChildCount(); ++i) names.emplace_back(again->Root().ChildAt(i)->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"X", "A", "Y", "P", "Z"}));
    EXPECT_EQ(Dump(*again), Dump(*hive));
}

TEST(WineHive, NewKeysKeepTheirOrderWhenSomeAreOnlyImplied) {
    Hive hive("REGISTRY\\Machine");
    hive.Create({"Z"});  // no values: written only where a subkey does not name it in place
    hive.Create({"Y"}).SetValue("y", kRegSz, Utf16z(u"1"));
    hive.Create({"Z", "W"});
    hive.Create({"Q", "R", "S"});
    std::string text = hive.Serialize();
    EXPECT_NE(text.find("[Z] "), std::string::npos);
    EXPECT_EQ(text.find("[Q] "), std::string::npos);
    EXPECT_EQ(text.find("[Q\\\\R] "), std::string::npos);
    auto again = ParseText(text);
    EXPECT_EQ(Dump(*again), Dump(hive));
}

TEST(WineHive, BigKeysFindAndEnumerateQuickly) {
    std::string text = kHeader + "\n[Big] 0\n";
    for (int i = 0; i < 20000; ++i) text += "\"v" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\n";
    auto hive = ParseText(text);
    HiveKey* k = hive->Find({"big"});
    ASSERT_EQ(k->ValueCount(), 20000u);
    for (int i = 0; i < 20000; i += 7) {
        const HiveValue* v = k->FindValue("V" + std::to_string(i));
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(v, k->ValueAt(size_t(i)));
    }
    for (int i = 0; i < 20000; i += 3) ASSERT_TRUE(k->DeleteValue("v" + std::to_string(i))) << i;
    for (int i = 0; i < 20000; ++i) EXPECT_EQ(k->FindValue("v" + std::to_string(i)) != nullptr, i % 3 != 0) << i;
    for (int i = 0; i < 100; ++i) k->SetValue("n" + std::to_string(i), kRegSz, Utf16z(u"x"));
    ASSERT_EQ(k->ValueCount(), 20000u - 6667u + 100u);
    EXPECT_EQ(k->ValueAt(0)->Name(), "v1");
    EXPECT_EQ(k->ValueAt(1)->Name(), "v2");
    EXPECT_EQ(k->ValueAt(2)->Name(), "v4");
    EXPECT_EQ(k->ValueAt(k->ValueCount() - 1)->Name(), "n99");
    EXPECT_EQ(Dump(*ParseText(hive->Serialize())), Dump(*hive));
}

TEST(WineHive, AValueCutOffByTheEndOfTheFileStaysEmptyWhenLinesFollowIt) {
    // Wine takes the line after a trailing backslash as more data: whatever
    // is written after such a value must not become part of it.
    for (const std::string tail : {"\"v\"=hex:01,\\\n", "\"v\"=hex:01,\\"}) {
        const std::string text = kHeader + "\n[K] 0\n\"a\"=\"1\"\n" + tail;
        auto hive = ParseText(text);
        EXPECT_EQ(hive->Serialize(), text);
        const HiveValue* v = hive->Find({"K"})->FindValue("v");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Type(), uint32_t(kRegNone));
        hive->Find({"K"})->SetValue("w", kRegSz, Utf16z(u"after"));
        hive->Create({"L"}).SetValue("x", kRegSz, Utf16z(u"y"));
        auto again = ParseText(hive->Serialize());
        EXPECT_EQ(Dump(*again), Dump(*hive)) << hive->Serialize();
        EXPECT_EQ(again->Find({"K"})->FindValue("v")->Type(), uint32_t(kRegNone));
    }
}

TEST(WineHive, NamesWithQuotesNeverMatchPastTheirText) {
    // A name kept in the text ends at its quote; a searched name with a
    // quote in it must not match what follows that quote.
    auto hive = ParseText(kHeader + "\n[K] 0\n\"ab\"=\"1\"\n\"q\\\"x\"=\"2\"\n");
    HiveKey* k = hive->Find({"K"});
    EXPECT_EQ(k->FindValue("ab\"="), nullptr);
    EXPECT_EQ(k->FindValue("ab\"=\"1"), nullptr);
    ASSERT_NE(k->FindValue("Q\"X"), nullptr);
    EXPECT_EQ(k->FindValue("q\"x")->Name(), "q\"x");
    k->SetValue("ab\"=", kRegSz, Utf16z(u"3"));
    EXPECT_EQ(k->ValueCount(), 3u);
    EXPECT_EQ(k->FindValue("ab")->Data(), Utf16z(u"1"));
}

// Random files made of the lines above, changed at random: whatever is read
// is written back unchanged, and what is written reads back as the tree it
// was written from.
TEST(WineHive, RandomFilesAndChangesReadBackAlike) {
    std::mt19937 rng(tarnel::test::TestSeed(20240607));
    auto pick = [&](std::initializer_list<const char*> options) {
        return std::string(*(options.begin() + std::uniform_int_distribution<size_t>(0, options.size() - 1)(rng)));
    };
    auto chance = [&](int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; };
    const auto keyName = [&] { return pick({"A", "a", "B", "C\\\\D", "A\\\\E", "A\\\\e\\\\F", "G\\x263a", "", "H]"}); };
    const auto valueName = [&] { return pick({"\"v\"", "\"V\"", "\"w\"", "@", "\"\"", "\"x\\\"y\"", "\"n\\x00e4\""}); };
    const auto data = [&] {
        return pick({"\"text\"", "str(2):\"%x%\"", "dword:0000002a", "dword:123456789", "hex:01,02",
                      "hex(7):61,00,00,00", "hex:01,\\\n  02,03", "\"a\\\n  b\"", "\"open", "hex:zz", "blob:1",
                      "\"x\" junk", "dword:"});
    };
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::string text = kHeader;
        int lines = std::uniform_int_distribution<int>(0, 14)(rng);
        for (int i = 0; i < lines; ++i) {
            int kind = std::uniform_int_distribution<int>(0, 9)(rng);
            if (kind <= 2)
                text += "\n[" + keyName() + "] 0\n";
            else if (kind <= 6)
                text += (chance(20) ? "  " : "") + valueName() + "=" + data() + "\n";
            else if (kind == 7)
                text += pick({"#link\n", "#time=1d\n", "#class=\"c\"\n", ";; note\n", "\n", "odd\n", "[bad\n"});
            else
                text += pick({"\"v\"=\"1\"\n", "@=dword:00000001\n"});
        }
        if (chance(30)) {
            std::string crlf;
            for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
            text = crlf;
        }
        if (chance(20) && !text.empty()) text.pop_back();

        auto hive = ParseText(text);
        ASSERT_EQ(hive->Serialize(), text);
        ASSERT_EQ(Dump(*ParseText(text)), Dump(*hive));

        hive->SetClockForTesting(1700000000);
        int edits = std::uniform_int_distribution<int>(1, 6)(rng);
        for (int e = 0; e < edits; ++e) {
            std::vector<HiveKey*> keys, stack{&hive->Root()};
            while (!stack.empty()) {
                HiveKey* k = stack.back();
                stack.pop_back();
                keys.push_back(k);
                for (size_t c = 0; c < k->ChildCount(); ++c) stack.push_back(k->ChildAt(c));
            }
            HiveKey* k = keys[std::uniform_int_distribution<size_t>(0, keys.size() - 1)(rng)];
            std::string name = pick({"v", "W", "", "x\"y", "new"});
            switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
            case 0: k->SetValue(name, kRegSz, Utf16z(u"set")); break;
            case 1: k->DeleteValue(name); break;
            case 2: k->CreateChild(pick({"A", "N", "e"})); break;
            case 3:
                if (k->ChildCount()) k->RemoveChild(std::string(k->ChildAt(0)->Name()));
                break;
            default:
                if (k->ValueCount()) k->DeleteValue(std::string(k->ValueAt(k->ValueCount() - 1)->Name()));
            }
        }
        std::string saved = hive->Serialize();
        ASSERT_EQ(Dump(*ParseText(saved)), Dump(*hive)) << "from:\n" << text << "\nsaved:\n" << saved;
    }
}
