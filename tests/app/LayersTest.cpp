// The layers as the sources draw them: the core and the windows see the
// platform's API and nothing of a backend, the platform sees nothing of the
// demo machine, the core's modules include each other without a circle,
// and the command line holds no store names, no store logic and no codec
// manager calls of its own. Each rule is tried on a small tree that breaks
// it first, so that a check that can never fail is noticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempMachine.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The quoted includes of a source file, in order.
std::vector<std::string> QuotedIncludes(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t hash = line.find_first_not_of(" \t");
        if (hash == std::string::npos || line[hash] != '#') continue;
        const size_t word = line.find_first_not_of(" \t", hash + 1);
        if (word == std::string::npos || line.compare(word, 7, "include") != 0) continue;
        const size_t open = line.find('"', word);
        const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close != std::string::npos) out.push_back(line.substr(open + 1, close - open - 1));
    }
    return out;
}

// The sources of a tree and what each includes, as paths from the tree's
// root (an include names a file under src/, the root, the demo folder or
// its own folder, as the build's include paths find them).
struct TTree {
    fs::path Root;
    std::map<std::string, std::vector<std::string>> Includes;  // file -> resolved includes

    explicit TTree(const fs::path& root) : Root(root) {
        for (const char* top : {"src", "demo", "app"}) {
            if (!fs::exists(root / top)) continue;
            for (const auto& e : fs::recursive_directory_iterator(root / top)) {
                const std::string ext = e.path().extension().string();
                if (!e.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
                const std::string file = fs::relative(e.path(), root).generic_string();
                std::vector<std::string>& resolved = Includes[file];
                for (const std::string& inc : QuotedIncludes(Read(e.path())))
                    resolved.push_back(Resolve(inc, e.path().parent_path()));
            }
        }
    }

    std::string Resolve(const std::string& include, const fs::path& folder) const {
        for (const fs::path& base : {Root / "src", Root, Root / "demo", folder}) {
            std::error_code ec;
            if (fs::exists(base / include, ec))
                return fs::relative(fs::weakly_canonical(base / include), Root).generic_string();
        }
        return "?" + include;
    }
};

bool Under(const std::string& file, const std::string& folder) { return file.rfind(folder, 0) == 0; }

// Every include that breaks a layer, as "file -> include".
std::vector<std::string> LayerBreaches(const TTree& tree) {
    std::vector<std::string> out;
    for (const auto& [file, includes] : tree.Includes) {
        const bool coreOrWindow = Under(file, "src/core/") || Under(file, "src/gui/");
        for (const std::string& inc : includes) {
            const bool backend = Under(inc, "src/platform/") && !Under(inc, "src/platform/api/");
            const bool demo = Under(inc, "demo/");
            if ((coreOrWindow && (backend || demo)) || (Under(file, "src/platform/") && demo) ||
                (Under(file, "src/core/") && Under(inc, "src/gui/")))
                out.push_back(file + " -> " + inc);
        }
    }
    return out;
}

// A circle among the core's modules (a header and its source are one
// module), as the modules on it; empty when there is none.
std::vector<std::string> CoreCircle(const TTree& tree) {
    auto module = [](const std::string& file) { return file.substr(0, file.rfind('.')); };
    std::map<std::string, std::set<std::string>> edges;
    for (const auto& [file, includes] : tree.Includes) {
        if (!Under(file, "src/core/")) continue;
        for (const std::string& inc : includes)
            if (Under(inc, "src/core/") && module(inc) != module(file)) edges[module(file)].insert(module(inc));
    }
    std::map<std::string, int> state;  // 1 on the path, 2 done
    std::vector<std::string> path, circle;
    std::function<bool(const std::string&)> visit = [&](const std::string& m) {
        state[m] = 1;
        path.push_back(m);
        for (const std::string& next : edges[m]) {
            if (state[next] == 1) {
                circle.assign(std::find(path.begin(), path.end(), next), path.end());
                circle.push_back(next);
                return true;
            }
            if (state[next] == 0 && visit(next)) return true;
        }
        path.pop_back();
        state[m] = 2;
        return false;
    };
    for (const auto& [m, next] : edges)
        if (state[m] == 0 && visit(m)) break;
    return circle;
}

// What a command-line source must not hold: the store's names, its logic
// and the codec manager's calls belong to the core.
std::vector<std::string> CommandLineBreaches(const fs::path& folder) {
    static const char* const kForbidden[] = {
        // store key and section names, spelled out or by their constants
        "drivers32", "drivers.inactive", "halvorin", "currentversion", "system.ini", "cdriverskey",
        "cinactivekey", "csystemini", "kdriverskeypath", "kdrivers32", "ksysteminame",
        // store logic
        "tdriverstore", "driverstore.h", "tregistry", "platform/api/registry.h", "platform/api/profile.h",
        "privateprofile", "tstoresnapshot",
        // the codec manager
        "icopen", "icclose", "icsendmessage", "icgetinfo", "platform/api/codecmanager.h", "kicm"};
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        const std::string text = Lower(Read(e.path()));
        for (const char* word : kForbidden)
            if (text.find(word) != std::string::npos) out.push_back(e.path().filename().string() + ": " + word);
    }
    return out;
}

void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

}  // namespace

TEST(Layers, TheChecksFindWhatBreaksThem) {
    tarnel::test::TempDir dir;
    const fs::path r = dir.Path();
    Put(r / "src/platform/api/Registry.h", "");
    Put(r / "src/platform/machine/Machine.h", "");
    Put(r / "src/platform/machine/Demo.cpp", "#include \"DemoFiles.h\"\n");
    Put(r / "demo/DemoFiles.h", "");
    Put(r / "src/core/a/A.h", "#include \"platform/api/Registry.h\"\n");
    Put(r / "src/core/a/A.cpp", "#include \"core/a/A.h\"\n#include \"core/b/B.h\"\n");
    Put(r / "src/core/b/B.h", "");
    Put(r / "src/core/b/B.cpp", "  #  include \"core/a/A.h\"\n");
    Put(r / "src/gui/w/W.cpp", "#include \"platform/machine/Machine.h\"\n");
    const TTree tree(r);
    EXPECT_EQ(LayerBreaches(tree), (std::vector<std::string>{"src/gui/w/W.cpp -> src/platform/machine/Machine.h",
                                                             "src/platform/machine/Demo.cpp -> demo/DemoFiles.h"}));
    EXPECT_EQ(CoreCircle(tree), (std::vector<std::string>{"src/core/a/A", "src/core/b/B", "src/core/a/A"}));

    Put(r / "app/tarnelctl/Good.cpp", "#include \"core/operations/CodecSession.h\"\nint RunGood();\n");
    EXPECT_TRUE(CommandLineBreaches(r / "app/tarnelctl").empty());
    Put(r / "app/tarnelctl/Bad.cpp", "reg.OpenKey(cDrivers32Key); ICOpen(0, 0, 4);\n");
    EXPECT_EQ(CommandLineBreaches(r / "app/tarnelctl"),
              (std::vector<std::string>{"Bad.cpp: drivers32", "Bad.cpp: icopen"}));
}

TEST(Layers, CoreAndWindowsSeeThePlatformApiOnlyAndThePlatformNoDemo) {
    const TTree tree(TARNEL_SOURCE_DIR);
    ASSERT_GT(tree.Includes.size(), 100u) << "the sources were not found";
    EXPECT_TRUE(LayerBreaches(tree).empty()) << Joined(LayerBreaches(tree));
}

TEST(Layers, TheCoresModulesIncludeEachOtherWithoutACircle) {
    const TTree tree(TARNEL_SOURCE_DIR);
    EXPECT_TRUE(CoreCircle(tree).empty()) << Joined(CoreCircle(tree));
}

TEST(Layers, TheCommandLineHoldsNoStoreNamesStoreLogicOrCodecManagerCalls) {
    const fs::path folder = fs::path(TARNEL_SOURCE_DIR) / "app/tarnelctl";
    ASSERT_TRUE(fs::exists(folder / "main.cpp"));
    EXPECT_TRUE(CommandLineBreaches(folder).empty()) << Joined(CommandLineBreaches(folder));
}
