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
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }

    JsonWriter& Key(std::string_view key) {
        Separate();
        Quote(key);
        out_ << ": ";
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
    JsonWriter& Number(int64_t v) {
        Separate();
        out_ << v;
        return *this;
    }

    static std::string Escape(std::string_view utf8) {
        std::string s;
        s.reserve(utf8.size() + 2);
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
        return s;
    }

private:
    JsonWriter& Open(char c) {
        Separate();
        out_ << c;
        first_.push_back(true);
        return *this;
    }
    JsonWriter& Close(char c) {
        bool empty = first_.back();
        first_.pop_back();
        if (!empty) Newline();
        out_ << c;
        return *this;
    }
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (first_.empty()) return;
        if (!first_.back()) out_ << ",";
        first_.back() = false;
        Newline();
    }
    void Newline() {
        out_ << "\n" << std::string(2 * first_.size(), ' ');
    }
    void Quote(std::string_view s) { out_ << '"' << Escape(s) << '"'; }

    std::ostream& out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace tarnel
