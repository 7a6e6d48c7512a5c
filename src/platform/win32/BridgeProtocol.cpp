#include "platform/win32/BridgeProtocol.h"

namespace tarnel::platform::bridge {

Message& Message::U8(uint8_t v) {
    out_.push_back(char(v));
    return *this;
}

Message& Message::U16(uint16_t v) {
    out_.push_back(char(v & 0xFF));
    out_.push_back(char(v >> 8));
    return *this;
}

Message& Message::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(char((v >> (8 * i)) & 0xFF));
    return *this;
}

Message& Message::Bytes(const void* data, size_t n) {
    U32(uint32_t(n));
    if (n) out_.append(static_cast<const char*>(data), n);
    return *this;
}

Message& Message::CStr(const char* s) {
    U8(s ? 1 : 0);
    if (s) Str(s);
    return *this;
}

std::string Message::Frame() const {
    std::string frame;
    frame.reserve(out_.size() + 4);
    const uint32_t n = uint32_t(out_.size());
    for (int i = 0; i < 4; ++i) frame.push_back(char((n >> (8 * i)) & 0xFF));
    frame += out_;
    return frame;
}

uint8_t Parser::U8() {
    if (in_.size() - pos_ < 1) throw EBadMessage();
    return uint8_t(in_[pos_++]);
}

uint16_t Parser::U16() {
    if (in_.size() - pos_ < 2) throw EBadMessage();
    uint16_t v = uint16_t(uint8_t(in_[pos_]) | uint8_t(in_[pos_ + 1]) << 8);
    pos_ += 2;
    return v;
}

uint32_t Parser::U32() {
    if (in_.size() - pos_ < 4) throw EBadMessage();
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(in_[pos_ + i])) << (8 * i);
    pos_ += 4;
    return v;
}

std::string Parser::Bytes() {
    const uint32_t n = U32();
    if (in_.size() - pos_ < n) throw EBadMessage();
    std::string s = in_.substr(pos_, n);
    pos_ += n;
    return s;
}

std::optional<std::string> Parser::CStr() {
    if (!U8()) return std::nullopt;
    return Bytes();
}

}  // namespace tarnel::platform::bridge
