// The conformance suite on the win32 backend: the real Windows API of the
// computer the program runs on (under Wine in the tests, a fresh prefix).
// The build's files lie beside the program, in the build's own folders.
#include <windows.h>

#include <stdexcept>

#include "conformance/Conformance.h"
#include "platform/api/OsVersion.h"
#include "platform/win32/Win32Backend.h"

namespace tarnel::conformance {

namespace {

std::string Folder(std::string path) { return path.substr(0, path.find_last_of("\\/")); }

std::string ProgramFolder() {
    char self[MAX_PATH + 1];
    DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    return Folder(std::string(self, n));
}

std::string Slashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

class Win32Env final : public Env {
public:
    TAnswerer Answerer() const override {
        // Wine says so through an export of its own.
        return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") ? TAnswerer::Wine
                                                                                      : TAnswerer::Windows;
    }
    void Begin() override {
        if (platform::HasBackend()) return;
        char self[MAX_PATH + 1];
        DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
        platform::SetProgramFile(std::string(self, n));
        platform::UseBackend(std::make_unique<platform::win32::TWin32Backend>());
    }
    void End() override {}

    void InstallSystemFile(const std::string& built, const std::string& as) override {
        const std::string here = ProgramFolder();
        std::string from = here + "\\" + Slashed(TARNEL_DEMO_FILES_REL) + "\\" + built;
        if (::GetFileAttributesA(from.c_str()) == INVALID_FILE_ATTRIBUTES)
            from = here + "\\" + Slashed(TARNEL_PE_FIXTURE_REL) + "\\" + built;
        const std::string to = platform::GetSystemDirectoryA() + "\\" + as;
        if (!::CopyFileA(from.c_str(), to.c_str(), FALSE))
            throw std::runtime_error("Cannot copy " + from + " to " + to + ": " +
                                     platform::win32::SystemMessage(::GetLastError()));
    }
    void RemoveSystemFile(const std::string& name) override {
        ::DeleteFileA((platform::GetSystemDirectoryA() + "\\" + name).c_str());
    }
    void WriteWindowsFile(const std::string& name, const std::string& bytes) override {
        const std::string path = platform::GetWindowsDirectoryA() + "\\" + name;
        HANDLE f = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) throw std::runtime_error("Cannot write " + path);
        DWORD put = 0;
        ::WriteFile(f, bytes.data(), DWORD(bytes.size()), &put, nullptr);
        ::CloseHandle(f);
    }
    std::string ReadWindowsFile(const std::string& name) override {
        const std::string path = platform::GetWindowsDirectoryA() + "\\" + name;
        HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return {};
        std::string bytes(::GetFileSize(f, nullptr), '\0');
        DWORD got = 0;
        ::ReadFile(f, bytes.data(), DWORD(bytes.size()), &got, nullptr);
        ::CloseHandle(f);
        bytes.resize(got);
        return bytes;
    }
    void RemoveWindowsFile(const std::string& name) override {
        ::DeleteFileA((platform::GetWindowsDirectoryA() + "\\" + name).c_str());
    }
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::make_unique<Win32Env>(); }

}  // namespace tarnel::conformance
