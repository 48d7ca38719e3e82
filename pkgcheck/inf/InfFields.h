#pragma once
// An INF's lines and fields as the payload rules read them (payload/
// InfSource.h), from pkgcheck's own text reader: the same fields that
// Windows' setup library gives the installer tool, quotes taken away and
// %strkey% tokens replaced. A section is taken apart when it is first read.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "payload/InfSource.h"
#include "pkgcheck/inf/InfText.h"
#include "platform/Heap.h"

namespace pkgcheck {

// The C++ heap, for the rules' strings.
class NewHeap final : public launcher::Heap {
public:
    void* Allocate(std::size_t bytes) override;
    void Release(void* block) override;
};

class InfFields final : public payload::InfSource {
public:
    explicit InfFields(const InfFile& file) : file_(file) {}

    bool FirstLine(const char* section, const char* key, payload::InfPlace* place) override;
    bool NextLine(payload::InfPlace* place) override;
    bool NextMatchLine(payload::InfPlace* place, const char* key) override;
    unsigned FieldCount(const payload::InfPlace& place) override;
    bool Field(const payload::InfPlace& place, unsigned index, launcher::ByteString& text) override;
    bool HasSection(const char* section) override;
    std::uint32_t LastError() override { return lastError_; }

    // The line's number in the file (of its first physical line).
    int LineNumber(const payload::InfPlace& place) const;

private:
    struct Line {
        bool keyed;
        std::string key;
        std::vector<std::string> values;
        int number;
    };
    // A section's lines, and where each key stands, so that a package of
    // ten thousand files costs a look-up a file, not a pass over them all.
    struct Lines {
        std::vector<Line> lines;
        std::unordered_map<std::string, std::vector<unsigned>> byKey;  // upper case
    };

    const Lines& Parsed(std::uint32_t section);
    static const Lines& LinesOf(const payload::InfPlace& place);
    static const Line& LineAt(const payload::InfPlace& place);
    static bool Seek(payload::InfPlace* place, const char* key);

    const InfFile& file_;
    std::unordered_map<std::uint32_t, Lines> parsed_;
    std::uint32_t lastError_ = 0;
};

}  // namespace pkgcheck
