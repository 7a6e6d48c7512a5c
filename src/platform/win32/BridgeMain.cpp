// tarnel-bridge.exe: the win32 backend served over standard input and
// output. The Linux program starts it under a Wine prefix's own Wine, so
// every call reaches that prefix's registry through the running Wine server
// (nothing is overwritten later), its codec manager loads the real drivers,
// and a driver's dialogs are its own, drawn by Wine. It serves one
// conversation and ends when its input ends.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "platform/api/CodecManager.h"
#include "platform/api/FileError.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/win32/BridgeProtocol.h"
#include "platform/win32/Win32Backend.h"

using namespace tarnel::platform;
using namespace tarnel::platform::bridge;
using tarnel::platform::win32::TWin32Backend;

namespace {

HANDLE in = nullptr;
HANDLE out = nullptr;

bool ReadAll(void* data, DWORD n) {
    auto* p = static_cast<char*>(data);
    while (n) {
        DWORD got = 0;
        if (!::ReadFile(in, p, n, &got, nullptr) || got == 0) return false;
        p += got;
        n -= got;
    }
    return true;
}

bool WriteAll(const std::string& bytes) {
    const char* p = bytes.data();
    size_t n = bytes.size();
    while (n) {
        DWORD put = 0;
        if (!::WriteFile(out, p, DWORD(n), &put, nullptr) || put == 0) return false;
        p += put;
        n -= put;
    }
    return true;
}

bool ReadFrame(std::string& payload) {
    unsigned char head[4];
    if (!ReadAll(head, 4)) return false;
    const uint32_t n = FrameLength(head);
    if (n > kMaxFrame) return false;
    payload.assign(n, '\0');
    return n == 0 || ReadAll(payload.data(), n);
}

// A C string argument: null stays null.
struct CArg {
    std::optional<std::string> s;
    const char* c() const { return s ? s->c_str() : nullptr; }
};

Message Ok() { return Message().U8(uint8_t(Status::Ok)); }

// The buffers of version blocks the Linux side sends for a query live here
// only for that query; nothing outlives a request.
Message Serve(TWin32Backend& b, Op op, Parser& p) {
    switch (op) {
    case Op::Hello: return Ok().U32(kProtocolVersion);
    case Op::Describe: return Ok().Str(b.Describe());
    case Op::Family: return Ok().U8(uint8_t(b.Family()));

    case Op::RegOpenKeyEx: {
        RegKey key = p.U32();
        CArg sub{p.CStr()};
        uint32_t options = p.U32(), sam = p.U32();
        RegKey result = 0;
        long rc = b.RegOpenKeyExA(key, sub.c(), options, sam, &result);
        return Ok().I32(int32_t(rc)).U32(uint32_t(result));
    }
    case Op::RegCreateKeyEx: {
        RegKey key = p.U32();
        CArg sub{p.CStr()};
        uint32_t sam = p.U32();
        RegKey result = 0;
        uint32_t disposition = 0;
        long rc = b.RegCreateKeyExA(key, sub.c(), sam, &result, &disposition);
        return Ok().I32(int32_t(rc)).U32(uint32_t(result)).U32(disposition);
    }
    case Op::RegCloseKey: return Ok().I32(int32_t(b.RegCloseKey(p.U32())));
    case Op::RegEnumKeyEx: {
        RegKey key = p.U32();
        uint32_t index = p.U32(), chars = p.U32();
        std::string name(chars + 1, '\0');
        long rc = b.RegEnumKeyExA(key, index, name.data(), &chars);
        name.resize(rc == 0 ? chars : 0);
        return Ok().I32(int32_t(rc)).U32(chars).Str(name);
    }
    case Op::RegEnumValue: {
        RegKey key = p.U32();
        uint32_t index = p.U32(), chars = p.U32();
        uint8_t wantType = p.U8(), wantData = p.U8(), wantBytes = p.U8();
        uint32_t bytes = p.U32();
        std::string name(chars + 1, '\0');
        std::string data(wantData ? bytes : 0, '\0');
        uint32_t type = 0;
        long rc = b.RegEnumValueA(key, index, name.data(), &chars, wantType ? &type : nullptr,
                                  wantData ? reinterpret_cast<uint8_t*>(data.data()) : nullptr,
                                  wantBytes ? &bytes : nullptr);
        name.resize(rc == 0 ? chars : 0);
        data.resize(rc == 0 && wantData ? std::min<size_t>(bytes, data.size()) : 0);
        return Ok().I32(int32_t(rc)).U32(chars).Str(name).U32(type).U32(bytes).Str(data);
    }
    case Op::RegQueryInfoKey: {
        uint32_t v[5] = {};
        long rc = b.RegQueryInfoKeyA(p.U32(), &v[0], &v[1], &v[2], &v[3], &v[4]);
        Message m = Ok().I32(int32_t(rc));
        for (uint32_t x : v) m.U32(x);
        return m;
    }
    case Op::RegQueryValueEx: {
        RegKey key = p.U32();
        CArg name{p.CStr()};
        uint8_t wantType = p.U8(), wantData = p.U8(), wantBytes = p.U8();
        uint32_t bytes = p.U32();
        std::string data(wantData ? bytes : 0, '\0');
        uint32_t type = 0;
        long rc = b.RegQueryValueExA(key, name.c(), wantType ? &type : nullptr,
                                     wantData ? reinterpret_cast<uint8_t*>(data.data()) : nullptr,
                                     wantBytes ? &bytes : nullptr);
        data.resize(rc == 0 && wantData ? std::min<size_t>(bytes, data.size()) : 0);
        return Ok().I32(int32_t(rc)).U32(type).U32(bytes).Str(data);
    }
    case Op::RegSetValueEx: {
        RegKey key = p.U32();
        CArg name{p.CStr()};
        uint32_t type = p.U32();
        uint8_t hasData = p.U8();
        std::string data = p.Bytes();
        long rc = b.RegSetValueExA(key, name.c(), type, hasData ? reinterpret_cast<const uint8_t*>(data.data()) : nullptr,
                                   uint32_t(data.size()));
        return Ok().I32(int32_t(rc));
    }
    case Op::RegDeleteValue: {
        RegKey key = p.U32();
        CArg name{p.CStr()};
        return Ok().I32(int32_t(b.RegDeleteValueA(key, name.c())));
    }
    case Op::RegDeleteKey: {
        RegKey key = p.U32();
        CArg sub{p.CStr()};
        return Ok().I32(int32_t(b.RegDeleteKeyA(key, sub.c())));
    }
    case Op::RegKeyPath: return Ok().Str(b.RegKeyPath(p.U32()));

    case Op::BeginTransaction: b.BeginTransaction(p.U8() != 0); return Ok();
    case Op::BeginScratch: b.BeginScratchTransaction(); return Ok();
    case Op::Commit: b.CommitTransaction(); return Ok();
    case Op::Rollback: b.RollbackTransaction(); return Ok();
    case Op::SetSavepoint: return Ok().I32(b.SetSavepoint());
    case Op::RollbackToSavepoint: b.RollbackToSavepoint(p.I32()); return Ok();

    case Op::ProfileSection: {
        CArg section{p.CStr()};
        uint32_t size = p.U32();
        CArg file{p.CStr()};
        std::string buffer(size, '\0');
        uint32_t n = b.GetPrivateProfileSectionA(section.c(), buffer.data(), size, file.c());
        buffer.resize(std::min<size_t>(size, size_t(n) + 2));
        return Ok().U32(n).Str(buffer);
    }
    case Op::ProfileString: {
        CArg section{p.CStr()}, key{p.CStr()}, def{p.CStr()};
        uint32_t size = p.U32();
        CArg file{p.CStr()};
        std::string buffer(size, '\0');
        uint32_t n = b.GetPrivateProfileStringA(section.c(), key.c(), def.c(), buffer.data(), size, file.c());
        buffer.resize(std::min<size_t>(size, size_t(n) + 2));
        return Ok().U32(n).Str(buffer);
    }
    case Op::WriteProfileString: {
        CArg section{p.CStr()}, key{p.CStr()}, value{p.CStr()}, file{p.CStr()};
        bool ok = b.WritePrivateProfileStringA(section.c(), key.c(), value.c(), file.c());
        return Ok().U8(ok).U32(::GetLastError());
    }

    case Op::ICOpen: {
        uint32_t type = p.U32(), handler = p.U32(), mode = p.U32();
        HIC hic = b.ICOpen(type, handler, mode);
        // Handles travel as 32-bit numbers; one that does not fit is not cut.
        if ((uint64_t(hic) >> 32) != 0) {
            b.ICClose(hic);
            throw EPlatformError("The codec manager gave a handle the bridge cannot carry: " + std::to_string(hic));
        }
        return Ok().U32(uint32_t(hic));
    }
    case Op::ICGetInfo:
    case Op::ICSendMessage: {
        // ICM_GETINFO carries its record both ways; every other message's
        // parameters are numbers.
        HIC hic = p.U32();
        uint32_t msg = op == Op::ICGetInfo ? kIcmGetInfo : p.U32();
        uint8_t hasRecord = p.U8();
        std::string record = p.Bytes();
        int32_t p1 = p.I32(), p2 = p.I32();
        if (hasRecord && p2 > 0 && uint32_t(p2) > record.size()) record.resize(std::min<uint32_t>(uint32_t(p2), 1u << 16));
        intptr_t result;
        if (op == Op::ICGetInfo)
            result = b.ICGetInfo(hic, hasRecord ? reinterpret_cast<ICINFO*>(record.data()) : nullptr, uint32_t(p2));
        else if (msg == kIcmGetInfo)
            result = b.ICSendMessage(hic, msg, hasRecord ? intptr_t(record.data()) : 0, p2);
        else
            result = b.ICSendMessage(hic, msg, p1, p2);
        return Ok().I32(int32_t(result)).Str(record);
    }
    case Op::ICClose: return Ok().I32(int32_t(b.ICClose(p.U32())));

    case Op::VersionSize: {
        std::string file = p.Str();
        if (p.U8()) file = TWin32Backend::WindowsPathOfUnix(file);
        uint32_t handle = 0;
        uint32_t size = b.GetFileVersionInfoSizeA(file, &handle);
        return Ok().U32(size).U32(handle).U32(tarnel::platform::GetLastError());
    }
    case Op::VersionInfo: {
        std::string file = p.Str();
        if (p.U8()) file = TWin32Backend::WindowsPathOfUnix(file);
        uint32_t handle = p.U32(), len = p.U32();
        std::string block(len, '\0');
        bool ok = b.GetFileVersionInfoA(file, handle, len, block.data());
        if (!ok) block.clear();
        return Ok().U8(ok).U32(tarnel::platform::GetLastError()).Str(block);
    }
    case Op::VerQuery: {
        std::string block = p.Bytes();
        std::string sub = p.Str();
        void* at = nullptr;
        uint32_t len = 0;
        bool ok = b.VerQueryValueA(block.data(), uint32_t(block.size()), sub, &at, &len);
        // The answer points into the block: its offset travels, and the
        // block itself, which the query may have written ANSI copies into.
        const char* begin = block.data();
        uint32_t offset = UINT32_MAX;
        if (ok && at >= static_cast<const void*>(begin) && at <= static_cast<const void*>(begin + block.size()))
            offset = uint32_t(static_cast<const char*>(at) - begin);
        return Ok().U8(ok).U32(offset).U32(len).Str(block);
    }
    case Op::MapFile: {
        std::string path = p.Str();
        // Opened here so a failure is worded by Windows; read there.
        auto mapped = b.MapFileA(path);
        return Ok().Str(TWin32Backend::UnixPathOf(path)).U32(uint32_t(mapped->Size()));
    }
    case Op::GetVersionEx: {
        tarnel::platform::OSVERSIONINFOEXA info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = p.U32();
        bool ok = b.GetVersionExA(&info);
        return Ok().U8(ok).Bytes(&info, sizeof info);
    }
    case Op::SystemDirectory: return Ok().Str(b.GetSystemDirectoryA());
    case Op::WindowsDirectory: return Ok().Str(b.GetWindowsDirectoryA());
    case Op::DateTimeNow: return Ok().Str(b.FormatLocalDateTimeNow());
    case Op::SetView: {
        const int view = int(p.U32());
        const std::string refusal = p.Str();
        b.SetView(view, refusal);
        return Ok().U32(uint32_t(b.View()));
    }
    }
    throw EPlatformError("The bridge does not know the request " + std::to_string(unsigned(op)));
}

Message Failure(ErrorKind kind, const char* text) { return Message().U8(uint8_t(Status::Failed)).U8(uint8_t(kind)).Str(text); }

}  // namespace

int main() {
    // A driver that fails to load must not stop the bridge with a message box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    in = ::GetStdHandle(STD_INPUT_HANDLE);
    out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    std::unique_ptr<TWin32Backend> backend;
    std::string payload;
    while (ReadFrame(payload)) {
        Message answer;
        try {
            Parser p(payload);
            Op op = Op(p.U16());
            if (!backend) backend = std::make_unique<TWin32Backend>();
            answer = Serve(*backend, op, p);
        } catch (const ERegistryException& e) {
            answer = Failure(ErrorKind::Registry, e.what());
        } catch (const EFileError& e) {
            answer = Failure(ErrorKind::File, e.what());
        } catch (const std::exception& e) {
            answer = Failure(ErrorKind::Platform, e.what());
        }
        if (!WriteAll(answer.Frame())) break;
    }
    // Input ended: the Linux side is gone or done. An open transaction is
    // undone by the backend as it goes.
    return 0;
}
