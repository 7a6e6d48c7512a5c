// info FOURCC: what the codec manager answers for the active entry of FOURCC.
#include <cstdio>
#include <iostream>

#include "app/tarnelctl/Command.h"
#include "core/shell/uGlobal.h"
#include "platform/api/Ansi.h"

namespace tarnel::ctl {

namespace {

// The four characters of a code, lowest byte first, up to a zero byte.
std::string CodeText(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char ch = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (!ch) break;
        s += ch;
    }
    return s;
}

std::string WideText(const char16_t* text, size_t capacity) {
    size_t n = 0;
    while (n < capacity && text[n]) ++n;
    return platform::Utf16ToUtf8(std::u16string_view(text, n));
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

}  // namespace

int RunInfo(const TCommandLine& cl) {
    const TCodecDescription d = DescribeCodec(Given(cl.Operands.front()), IdentifyMachine().CodecStoreMode);
    const platform::ICINFO& info = d.Info;
    const std::string name = WideText(info.szName, 16);
    const std::string description = WideText(info.szDescription, 128);
    const std::string driverName = WideText(info.szDriver, 128);
    if (cl.Json) {
        JsonWriter w(std::cout);
        w.BeginObject();
        w.Key("fourcc").Ansi(d.Entry.Fourcc);
        w.Key("driver").Ansi(d.Entry.Driver);
        w.Key("opened").Bool(d.Opened);
        w.Key("fccType").BeginObject();
        w.Key("text").Ansi(CodeText(info.fccType));
        w.Key("number").Number(info.fccType);
        w.EndObject();
        w.Key("fccHandler").BeginObject();
        w.Key("text").Ansi(CodeText(info.fccHandler));
        w.Key("number").Number(info.fccHandler);
        w.EndObject();
        w.Key("dwFlags").Number(info.dwFlags);
        w.Key("dwVersion").Number(info.dwVersion);
        w.Key("dwVersionICM").Number(info.dwVersionICM);
        w.Key("szName").String(name);
        w.Key("szDescription").String(description);
        w.Key("szDriver").String(driverName);
        w.Key("configure").Bool(d.Dialogs.Configure);
        w.Key("about").Bool(d.Dialogs.About);
        w.EndObject();
        w.Flush();
        std::cout << "\n";
        return 0;
    }
    auto line = [](const char* label, const std::string& value) {
        std::string l = label;
        l.resize(15, ' ');
        std::cout << l << value << "\n";
    };
    line("FOURCC", Shown(d.Entry.Fourcc));
    line("Driver entry", Shown(d.Entry.Driver));
    line("Opened", d.Opened ? "yes" : "no (the codec manager cannot open it)");
    line("fccType", Shown(CodeText(info.fccType)) + " (" + Hex(info.fccType) + ")");
    line("fccHandler", Shown(CodeText(info.fccHandler)) + " (" + Hex(info.fccHandler) + ")");
    line("dwFlags", Hex(info.dwFlags));
    line("dwVersion", Hex(info.dwVersion));
    line("dwVersionICM", Hex(info.dwVersionICM));
    line("szName", name);
    line("szDescription", description);
    line("szDriver", driverName);
    line("Configure", d.Dialogs.Configure ? "offered" : "not offered");
    line("About", d.Dialogs.About ? "offered" : "not offered");
    return 0;
}

}  // namespace tarnel::ctl
