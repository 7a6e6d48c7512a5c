// The conformance suite: one set of tests, written against the platform API
// alone, that every backend must pass. It runs on the emulated machine
// (natively, in tarnel_tests), on the win32 backend (tarnel_conformance.exe,
// run by Wine, or on Windows) and on the wine backend (through the bridge, in
// tarnel_wine_tests). Where Windows and Wine answer differently, the
// emulation holds to Windows, and the test says which side answers what, and
// why the difference stays.
//
// An Env is the place the suite runs in: it gives each test a machine of the
// NT family and puts files where the machine's loader finds them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarnel::conformance {

// Who answers the calls.
enum class TAnswerer {
    Emulation,  // the emulated machine
    Windows,    // the real API on Windows
    Wine,       // the real API as Wine implements it
};

class Env {
public:
    virtual ~Env() = default;
    virtual TAnswerer Answerer() const = 0;
    // 32 or 64: the program whose calls answer (where they differ by the
    // program's processor, as Wine's loader does).
    virtual int ProgramBits() const { return int(sizeof(void*) * 8); }
    // Before each test: the backend in use, a machine of the NT family.
    virtual void Begin() = 0;
    // After each test, when the suite has removed what it registered.
    virtual void End() = 0;
    // Copies a file the build made (a demo driver or a test PE file, by its
    // own name) into the machine's system folder as `as`.
    virtual void InstallSystemFile(const std::string& built, const std::string& as) = 0;
    // Removes a file of the system folder (nothing when it is missing).
    virtual void RemoveSystemFile(const std::string& name) = 0;
    // A file of the Windows folder, written and read as bytes, and removed.
    virtual void WriteWindowsFile(const std::string& name, const std::string& bytes) = 0;
    virtual std::string ReadWindowsFile(const std::string& name) = 0;
    virtual void RemoveWindowsFile(const std::string& name) = 0;
};

// Each test program defines it: the place its suite runs in.
std::unique_ptr<Env> MakeEnv();
Env& CurrentEnv();

inline bool UnderWine() { return CurrentEnv().Answerer() == TAnswerer::Wine; }

// Every conformance test: a fresh machine, and whatever it registered,
// installed or wrote gone afterwards, so the real API's machine stays as it
// was for the next test.
class ConformanceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A driver entry of Drivers32 ("vidc.mjpg" -> "lcmjpeg.dll"), removed
    // after the test.
    void RegisterDriver(const std::string& entry, const std::string& driver);
    void UnregisterDriver(const std::string& entry);
    // A built file in the system folder, removed after the test.
    void Install(const std::string& built, const std::string& as);
    void Install(const std::string& built) { Install(built, built); }
    // A file of the Windows folder (a profile file), removed after the test.
    void WriteWindowsFile(const std::string& name, const std::string& text);

private:
    std::vector<std::string> entries_, files_, profiles_;
};

// The keys the tests make their own values and subkeys under, in the local
// machine's and in the current user's hive; removed after every test.
inline constexpr char kTestKey[] = "Software\\Halvorin\\Conformance";

// The four characters as a FOURCC code, the first in the low byte.
constexpr uint32_t Fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

}  // namespace tarnel::conformance
