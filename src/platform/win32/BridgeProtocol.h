// What the Linux program and tarnel-bridge.exe say to each other over the
// bridge's standard input and output: frames of a 32-bit little-endian
// length and that many bytes. A request is an operation number and its
// arguments; every answer starts with a status byte, then the results, or
// the kind and text of the error the call threw. Integers are little-endian,
// texts and byte strings carry their length; a text that may be a null
// pointer carries a flag first. Plain C++ on both sides.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnel::platform::bridge {

// No frame is longer: a longer length means the stream is broken.
inline constexpr uint32_t kMaxFrame = 64u << 20;
// The first request of a conversation, answered with the same number: a
// bridge built from other sources answers another one.
inline constexpr uint32_t kProtocolVersion = 2;

enum class Op : uint16_t {
    Hello = 1,
    Describe,
    Family,
    RegOpenKeyEx,
    RegCreateKeyEx,
    RegCloseKey,
    RegEnumKeyEx,
    RegEnumValue,
    RegQueryInfoKey,
    RegQueryValueEx,
    RegSetValueEx,
    RegDeleteValue,
    RegDeleteKey,
    RegKeyPath,
    BeginTransaction,
    BeginScratch,
    Commit,
    Rollback,
    SetSavepoint,
    RollbackToSavepoint,
    ProfileSection,
    ProfileString,
    WriteProfileString,
    ICOpen,
    ICGetInfo,
    ICSendMessage,
    ICClose,
    VersionSize,
    VersionInfo,
    VerQuery,
    MapFile,
    GetVersionEx,
    SystemDirectory,
    WindowsDirectory,
    DateTimeNow,
    SetView,
};

enum class Status : uint8_t { Ok = 0, Failed = 1 };
// Which exception a failed call threw, so the other side throws the same.
enum class ErrorKind : uint8_t { Platform = 1, Registry = 2, File = 3 };

class Message {
public:
    Message() = default;
    explicit Message(Op op) { U16(uint16_t(op)); }
    Message& U8(uint8_t v);
    Message& U16(uint16_t v);
    Message& U32(uint32_t v);
    Message& I32(int32_t v) { return U32(uint32_t(v)); }
    Message& Bytes(const void* data, size_t n);
    Message& Str(const std::string& s) { return Bytes(s.data(), s.size()); }
    // A C string that may be null.
    Message& CStr(const char* s);
    const std::string& Payload() const { return out_; }
    // The payload with its length in front, ready to write.
    std::string Frame() const;

private:
    std::string out_;
};

class EBadMessage : public std::exception {
public:
    const char* what() const noexcept override { return "The bridge sent a message that does not parse"; }
};

// Reads a payload field by field; throws EBadMessage when it runs short.
class Parser {
public:
    explicit Parser(const std::string& payload) : in_(payload) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int32_t I32() { return int32_t(U32()); }
    std::string Bytes();
    std::string Str() { return Bytes(); }
    // A C string that may be null: nullopt for null.
    std::optional<std::string> CStr();
    bool AtEnd() const { return pos_ == in_.size(); }

private:
    const std::string& in_;
    size_t pos_ = 0;
};

// The 32-bit length a frame starts with.
inline uint32_t FrameLength(const unsigned char head[4]) {
    return uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
}

}  // namespace tarnel::platform::bridge
