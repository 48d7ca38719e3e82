#pragma once
// Just enough JSON output for the report. Strings are written byte for byte
// where they are printable ASCII; every byte above 0x7F becomes \u0080 to
// \u00FF, one escape a byte, so the output is ASCII and scripts get back the
// exact ANSI bytes by encoding the strings as Latin-1.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

class JsonWriter {
public:
    using Output = std::function<void(std::string_view)>;
    // Hands the text to `output` a block at a time, so a large document is
    // never held whole.
    explicit JsonWriter(Output output) : output_(std::move(output)) {}

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view value);
    JsonWriter& Number(long long value) { return Raw(std::to_string(value)); }
    JsonWriter& Bool(bool value) { return Raw(value ? "true" : "false"); }
    JsonWriter& Null() { return Raw("null"); }
    // Index into a list written 1-based, or null for "none".
    JsonWriter& Ordinal(int zeroBased) { return zeroBased < 0 ? Null() : Number(zeroBased + 1); }

    // The rest of the document.
    void Finish() {
        out_ += '\n';
        Flush();
    }

private:
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);
    JsonWriter& Raw(std::string_view text);
    void StartValue();
    void NewLine();
    void Flush();

    Output output_;
    std::string out_;
    std::vector<bool> hasMembers_;
    bool afterKey_ = false;
};

}  // namespace pkgcheck
