// The hive parser: whatever it accepts reads back the same after a write,
// and an unchanged hive is written back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/Registry.h"
#include "platform/machine/WineHive.h"

using namespace tarnel::platform;
using namespace tarnel::platform::wine;

namespace {
// The tree in depth-first order, each key by its depth and name (a path per
// key would cost the square of the depth); texts carry their lengths, so
// that no two trees read alike.
std::string Field(std::string_view s) { return std::to_string(s.size()) + ":" + std::string(s) + " "; }

std::string Dump(Hive& hive) {
    std::string out;
    std::vector<std::pair<HiveKey*, size_t>> stack{{&hive.Root(), 0}};
    while (!stack.empty()) {
        auto [k, depth] = stack.back();
        stack.pop_back();
        out += std::to_string(depth) + (k->IsLink() ? " link " : " key ") + Field(k->Name()) + "\n";
        for (size_t i = 0; i < k->ValueCount(); ++i) {
            const HiveValue* v = k->ValueAt(i);
            std::vector<uint8_t> d = v->Data();
            out += Field(v->Name()) + std::to_string(v->Type()) + " " +
                   Field(std::string_view(reinterpret_cast<const char*>(d.data()), d.size())) + "\n";
        }
        for (size_t i = k->ChildCount(); i-- > 0;) stack.emplace_back(k->ChildAt(i), depth + 1);
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
