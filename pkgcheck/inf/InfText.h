#pragma once
// A setup-information file as Windows' INF readers take it apart: lines,
// sections, fields and [Strings] tokens. The models, the cross-check and the
// payload all read through it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/read/HashIndex.h"

namespace pkgcheck {

std::string_view WithoutComment(std::string_view line);
// Position of `c` outside double quotes, or npos.
std::size_t FindUnquoted(std::string_view text, char c);

// Calls visit(index, field) for the fields of `text` split at `separator`
// outside double quotes, as written (see Unquoted).
template <typename Visit>
void ForEachField(std::string_view text, char separator, Visit&& visit) {
    bool quoted = false;
    std::size_t start = 0;
    std::size_t index = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || (text[i] == separator && !quoted)) {
            visit(index++, text.substr(start, i - start));
            start = i + 1;
        } else if (text[i] == '"') {
            quoted = !quoted;
        }
    }
}

// A field's value: blanks around it dropped, double quotes taken away (what
// they enclose is kept as it is, blanks included) and "" inside quotes
// standing for one quote. Most fields are unquoted or quoted whole and are
// a view of themselves; the others are built in `scratch`.
std::string_view Unquoted(std::string_view field, std::string* scratch);

// A line as INF readers take it: comment dropped, blanks trimmed, and a
// final backslash joining the next physical line. Lines end at LF.
struct LogicalLine {
    std::string_view text;  // valid until the next line is read
    int line;               // of its first physical line
    std::size_t begin;      // offsets of its physical lines, line ends included
    std::size_t end;
};

class LineReader {
public:
    LineReader(std::string_view text, int firstLine) : text_(text), line_(firstLine) {}

    bool Next(LogicalLine* out);
    int NextLineNumber() const { return line_; }

private:
    std::string_view Physical();

    std::string_view text_;
    std::size_t at_ = 0;
    int line_;
    std::string joined_;
};

// The sections of an INF and its [Strings]. One pass notes where each
// section's lines lie; a section is read again only when it is needed.
class InfFile {
public:
    static constexpr std::uint32_t kNone = HashIndex::kNone;

    explicit InfFile(std::string_view text);

    // The section of that name, letter case aside, or kNone.
    std::uint32_t Find(std::string_view name) const;
    std::size_t SectionCount() const { return sections_.size(); }
    std::string_view NameOf(std::uint32_t section) const { return sections_[section].name; }

    // The section's non-empty lines; a section named twice is one section.
    template <typename Visit>
    void ForEachLine(std::uint32_t section, Visit&& visit) const {
        for (std::uint32_t c = sections_[section].first; c != kNone; c = chunks_[c].next) {
            const Chunk& chunk = chunks_[c];
            LineReader reader(text_.substr(chunk.begin, chunk.end - chunk.begin), chunk.firstLine);
            LogicalLine l;
            while (reader.Next(&l))
                if (!l.text.empty()) visit(l);
        }
    }

    // %key% replaced from the [Strings] sections; %% is one percent sign. A
    // text without a percent sign is its own result; others are built in
    // `scratch`.
    std::string_view Substitute(std::string_view text, std::string* scratch) const;

private:
    struct Chunk {
        std::size_t begin;
        std::size_t end;
        int firstLine;
        std::uint32_t next;  // the section's next chunk
    };
    struct Section {
        std::string_view name;  // as first spelled
        std::uint32_t first;
        std::uint32_t last;
    };
    struct String {
        std::string_view key;
        std::string_view value;
    };

    // `view` where it outlives the line it came from (the file's text, or a
    // copy kept here).
    std::string_view Lasting(std::string_view view);
    std::uint32_t SectionNamed(std::string_view name);
    std::uint32_t FindString(std::string_view key) const;
    void CollectStrings();

    std::string_view text_;
    std::vector<Section> sections_;
    std::vector<Chunk> chunks_;
    HashIndex sectionIndex_;
    std::vector<String> strings_;
    HashIndex stringIndex_;
    std::deque<std::string> owned_;
};

// A decoded INF that keeps its text and the index of its sections together.
class InfDocument {
public:
    explicit InfDocument(std::string text) : text_(std::move(text)), file_(text_) {}
    InfDocument(const InfDocument&) = delete;
    InfDocument& operator=(const InfDocument&) = delete;

    const InfFile& File() const { return file_; }

private:
    const std::string text_;  // before file_, which points into it
    const InfFile file_;
};

}  // namespace pkgcheck
