#include "platform/api/Profile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/Ansi.h"
#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "platform/machine/StoreFiles.h"

namespace fs = std::filesystem;

namespace tarnel::platform::machine {

namespace {

using Line = ProfileText::Line;

std::string WithoutQuotes(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return std::string(v.substr(1, v.size() - 2));
    return std::string(v);
}

std::optional<fs::path> ProfilePath(const char* file) {
    if (!file || !*file) return std::nullopt;
    std::string name(file);
    if (name.find_first_of("\\/:") == std::string::npos) {
        fs::path win = WindowsDirPath();
        auto found = FindFileNoCase(win, name);
        // A new profile file gets the lower-case name the machine layout uses.
        return found ? *found : win / AsciiLowerCase(name);
    }
    return MapWindowsPath(name);
}

// The file as the machine holds it (a transaction sees its own writes); no
// lines when it does not exist, or when it lies outside the machine. Throws
// EFileError when it cannot be read.
ProfileText& ReadProfile(const fs::path& path) {
    StoreFile& f = CurrentMachine().Files().Access(path, FileKind::Text);
    if (!f.error.empty()) throw EFileError(path, "Cannot read", f.errorNumber);
    return f.profile;
}

}  // namespace

uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size, const char* file) {
    if (!buffer || !section) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    if (size == 0) return 0;
    buffer[0] = '\0';
    if (size < 2) return 0;
    buffer[1] = '\0';
    auto path = ProfilePath(file);
    if (!path) return 0;
    const std::span<const Line> lines = ReadProfile(*path).Section(section);
    if (lines.empty()) return 0;

    // Invariant: pos <= size - 1, so the closing zero always has its byte.
    uint32_t pos = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        const Line& p = lines[i];
        if (!p.IsEntry() || p.Name().empty() || p.Name().front() == ';') continue;
        std::string entry(p.Name());
        if (p.HasValue()) entry += "=" + std::string(p.Value());
        if (uint64_t(pos) + entry.size() + 2 > size) {
            // Too small: the last line is cut and the buffer closed by two zero bytes.
            const uint32_t room = pos < size - 2 ? size - 2 - pos : 0;
            std::memcpy(buffer + pos, entry.data(), std::min<size_t>(room, entry.size()));
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, entry.data(), entry.size());
        pos += static_cast<uint32_t>(entry.size());
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    return pos;
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer,
                                  uint32_t size, const char* file) {
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    // Empty key: nothing, not even the default (as the 95 family answers).
    if (key && !*key) return 0;
    // Trailing blanks of the default are dropped, leading ones kept.
    std::string_view d = def ? std::string_view(def) : std::string_view();
    while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
    std::string result = WithoutQuotes(d);
    if (section && key) {
        if (auto path = ProfilePath(file)) {
            // A line without '=' has no value: the default answers.
            const Line* at = ReadProfile(*path).Entry(section, key);
            if (at && at->HasValue()) result = WithoutQuotes(at->Value());
        }
    }
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(result.size(), size - 1));
    std::memcpy(buffer, result.data(), n);
    buffer[n] = '\0';
    return n;
}

void EditProfileText(ProfileText& text, const StoreOp& op) {
    text.Edit(op.section, op.hasKey ? op.name.c_str() : nullptr, op.hasValue ? op.value.c_str() : nullptr);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    if (!section) return true;  // only a request to flush; the store writes at each commit
    auto path = ProfilePath(file);
    if (!path) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    StoreFiles& files = CurrentMachine().Files();
    try {
        // One write of its own outside a transaction, under the machine's lock.
        TStoreWriteScope scope(files);
        StoreFile& f = files.Access(*path, FileKind::Text);
        if (!f.error.empty()) {
            SetLastError(WinErrorFromErrno(f.errorNumber));
            return false;
        }
        if (!f.refusal.empty()) {
            // Never written: the transaction is refused at its commit, which
            // names the file (a write of its own fails here and now).
            files.Refuse(f.refusal);
        } else if (f.profile.Edit(section, key, value)) {
            StoreOp op{};
            op.kind = StoreOp::ProfileWrite;
            op.section = section;
            op.hasKey = key != nullptr;
            if (key) op.name = key;
            op.hasValue = value != nullptr;
            if (value) op.value = value;
            files.Changed(f, std::move(op));
        }
        scope.Commit();
    } catch (const EStoreWrite&) {
        SetLastError(kErrorAccessDenied);
        return false;
    } catch (const EFileError& e) {
        SetLastError(WinErrorFromErrno(e.ErrorNumber()));
        return false;
    }
    return true;
}

}  // namespace tarnel::platform::machine
