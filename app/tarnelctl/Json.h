// A small streaming JSON writer: the shapes tarnelctl prints are fixed and
// flat, so a document model would be overkill. Program texts are ANSI and
// leave as UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/Ansi.h"

namespace tarnel {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) { buf_.reserve(kFlushAt + 4096); }
    // The text is gathered and written in large pieces: a listing of tens of
    // thousands of codecs would otherwise spend its time in the stream.
    ~JsonWriter() { Flush(); }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;
    void Flush() {
        out_.write(buf_.data(), std::streamsize(buf_.size()));
        buf_.clear();
    }

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }

    JsonWriter& Key(std::string_view key) {
        Separate();
        Quote(key);
        buf_ += ": ";
        afterKey_ = true;
        return *this;
    }
    JsonWriter& String(std::string_view utf8) {
        Separate();
        Quote(utf8);
        return *this;
    }
    // A Windows-1252 program text.
    JsonWriter& Ansi(std::string_view ansi) { return String(platform::AnsiToUtf8(ansi)); }
    JsonWriter& Bool(bool v) {
        Separate();
        buf_ += v ? "true" : "false";
        return *this;
    }
    JsonWriter& Number(int64_t v) {
        Separate();
        buf_ += std::to_string(v);
        return *this;
    }

    static std::string Escape(std::string_view utf8) {
        std::string s;
        s.reserve(utf8.size() + 2);
        EscapeInto(s, utf8);
        return s;
    }
    static void EscapeInto(std::string& s, std::string_view utf8) {
        for (char ch : utf8) {
            unsigned char c = static_cast<unsigned char>(ch);
            switch (c) {
                case '"': s += "\\\""; break;
                case '\\': s += "\\\\"; break;
                case '\n': s += "\\n"; break;
                case '\r': s += "\\r"; break;
                case '\t': s += "\\t"; break;
                case '\b': s += "\\b"; break;
                case '\f': s += "\\f"; break;
                default:
                    if (c < 0x20) {
                        char buf[8];
                        std::snprintf(buf, sizeof buf, "\\u%04x", c);
                        s += buf;
                    } else {
                        s += ch;
                    }
            }
        }
    }

private:
    JsonWriter& Open(char c) {
        Separate();
        buf_ += c;
        first_.push_back(true);
        return *this;
    }
    JsonWriter& Close(char c) {
        bool empty = first_.back();
        first_.pop_back();
        if (!empty) Newline();
        buf_ += c;
        if (first_.empty() || buf_.size() >= kFlushAt) Flush();
        return *this;
    }
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (first_.empty()) return;
        if (!first_.back()) buf_ += ',';
        first_.back() = false;
        Newline();
    }
    void Newline() {
        buf_ += '\n';
        buf_.append(2 * first_.size(), ' ');
    }
    void Quote(std::string_view s) {
        buf_ += '"';
        EscapeInto(buf_, s);
        buf_ += '"';
    }

    static constexpr size_t kFlushAt = 1 << 16;
    std::ostream& out_;
    std::string buf_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace tarnel
