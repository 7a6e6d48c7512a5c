#include "demo/DemoFiles.h"

namespace tarnel::demo {

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}
}  // namespace

const DemoFile* FindDemoFile(std::string_view name) {
    for (const DemoFile& f : DemoFiles())
        if (EqualNoCase(f.name, name)) return &f;
    return nullptr;
}

}  // namespace tarnel::demo
