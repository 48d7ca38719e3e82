#include "pkgcheck/report/Json.h"

namespace pkgcheck {

namespace {

bool Plain(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b < 0x7F && c != '"' && c != '\\';
}

// Runs of plain bytes go in whole; only the rest one by one.
void AppendQuoted(std::string* out, std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    *out += '"';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::size_t plain = i;
        while (plain < bytes.size() && Plain(bytes[plain])) ++plain;
        out->append(bytes.data() + i, plain - i);
        if (plain == bytes.size()) break;
        i = plain;
        const char c = bytes[i];
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            *out += '\\';
            *out += c;
        } else if (c == '\n') {
            *out += "\\n";
        } else if (c == '\r') {
            *out += "\\r";
        } else if (c == '\t') {
            *out += "\\t";
        } else {
            *out += "\\u00";
            *out += kHex[b >> 4];
            *out += kHex[b & 0xF];
        }
    }
    *out += '"';
}

}  // namespace

JsonWriter& JsonWriter::String(std::string_view value) {
    StartValue();
    AppendQuoted(&out_, value);
    if (out_.size() >= (1u << 16)) Flush();
    return *this;
}

void JsonWriter::NewLine() {
    out_ += '\n';
    out_.append(hasMembers_.size() * 2, ' ');
}

void JsonWriter::StartValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (hasMembers_.empty()) return;
    if (hasMembers_.back()) out_ += ',';
    hasMembers_.back() = true;
    NewLine();
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    StartValue();
    AppendQuoted(&out_, name);
    out_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::Open(char bracket) {
    StartValue();
    out_ += bracket;
    hasMembers_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    const bool hadMembers = hasMembers_.back();
    hasMembers_.pop_back();
    if (hadMembers) NewLine();
    out_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::Raw(std::string_view text) {
    StartValue();
    out_ += text;
    if (out_.size() >= (1u << 16)) Flush();
    return *this;
}

void JsonWriter::Flush() {
    output_(out_);
    out_.clear();
}

}  // namespace pkgcheck
