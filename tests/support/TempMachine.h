// Each test works on a machine of its own in a temporary folder.
#pragma once

#include <filesystem>
#include <string>

#include "platform/machine/BareMachine.h"

namespace tarnel::test {

class TempMachine {
public:
    explicit TempMachine(platform::TMachineFamily family = platform::TMachineFamily::NT,
                         bool demo = false);
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path System32() const;
    // Writes a file below the machine root (folders created as needed).
    void WriteFile(const std::filesystem::path& relative, const std::string& contents) const;
    std::string ReadFile(const std::filesystem::path& relative) const;

private:
    std::filesystem::path root_;
};

// An empty temporary folder, removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::filesystem::path PeFixture(const std::string& name);  // built test PE files
std::filesystem::path TestData(const std::string& name);   // committed test data

}  // namespace tarnel::test
