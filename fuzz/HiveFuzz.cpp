// The hive parser: whatever it accepts reads back the same after a write,
// and an unchanged hive is written back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/api/Registry.h"
#include "platform/machine/WineHive.h"

using namespace tarnel::platform;
using namespace tarnel::platform::wine;

namespace {
std::string Dump(Hive& hive) {
    std::string out;
    std::vector<std::pair<HiveKey*, std::string>> stack{{&hive.Root(), ""}};
    while (!stack.empty()) {
        auto [k, path] = stack.back();
        stack.pop_back();
        out += "[" + path + "]" + (k->IsLink() ? " link" : "") + "\n";
        for (size_t i = 0; i < k->ValueCount(); ++i) {
            const HiveValue* v = k->ValueAt(i);
            std::vector<uint8_t> d = v->Data();
            out += std::string(v->Name()) + " " + std::to_string(v->Type()) + " " +
                   std::string(d.begin(), d.end()) + "\n";
        }
        for (size_t i = k->ChildCount(); i-- > 0;) {
            HiveKey* c = k->ChildAt(i);
            stack.emplace_back(c, path + "\\" + std::string(c->Name()));
        }
    }
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<Hive> first;
    try {
        first = Hive::Parse(text, "fuzz.reg", "REGISTRY\\Machine");
    } catch (const ERegistryException&) {
        return 0;  // refused whole, as it should be told
    }
    const std::string written = first->Serialize();
    // Nothing changed: the same bytes (an empty file is a new hive, with a head).
    if (!text.empty() && written != text) std::abort();
    // A change, then the round trip: the same tree after a write and a read.
    first->Create({"Fuzz", "Added"}).SetValue("v", kRegSz, {'x', 0, 0, 0});
    const std::string changed = first->Serialize();
    std::unique_ptr<Hive> second;
    try {
        second = Hive::Parse(changed, "fuzz.reg", "REGISTRY\\Machine");
    } catch (const ERegistryException&) {
        std::abort();  // what we wrote must read again
    }
    if (Dump(*first) != Dump(*second)) std::abort();
    return 0;
}
