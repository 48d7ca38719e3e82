#pragma once
// A setup-information file as the payload rules read it: sections of lines,
// lines of fields, with string keys replaced. The installer tool reads it
// through Windows' setup library, pkgcheck through its own text reader, so
// the rules judge one INF the same way in both.

#include <cstdint>

#include "platform/ByteString.h"

namespace payload {

// A line of a section, in whatever form the reader keeps it.
struct InfPlace {
    void* a;
    void* b;
    unsigned c;
    unsigned d;
};

class InfSource {
public:
    // The first line of `section` whose key is `key`, or its first line
    // when `key` is null; letter case aside.
    virtual bool FirstLine(const char* section, const char* key, InfPlace* place) = 0;
    virtual bool NextLine(InfPlace* place) = 0;
    virtual bool NextMatchLine(InfPlace* place, const char* key) = 0;
    virtual unsigned FieldCount(const InfPlace& place) = 0;
    // Field `index` of the line (0 is its key); false when there is none or
    // no memory for it, with the reason in LastError.
    virtual bool Field(const InfPlace& place, unsigned index, launcher::ByteString& text) = 0;
    // Whether the INF has a section of that name, lines or not.
    virtual bool HasSection(const char* section) = 0;
    // Why the last Field failed, as a Windows error code.
    virtual std::uint32_t LastError() = 0;

protected:
    ~InfSource() = default;
};

// winerror.h: the codes that mean exhausted memory.
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorOutOfMemory = 14;

// A reader that remembers the first failure: memory that ran out, or an
// error of the setup library's, after which the rules stop reading.
class InfReading {
public:
    InfReading(InfSource& inf, launcher::Heap& heap) : inf_(inf), heap_(heap) {}

    InfSource& Inf() { return inf_; }
    launcher::Heap& Heap() { return heap_; }

    // Field `index` of `line`; false, with the failure noted, when it
    // cannot be read.
    bool ReadField(const InfPlace& line, unsigned index, launcher::ByteString& text);
    // The same, empty when the line is shorter.
    bool OptionalField(const InfPlace& line, unsigned index, launcher::ByteString& text);
    // `ok`, noting exhausted memory when it is false: for the results of
    // appends.
    bool Allocated(bool ok) {
        if (!ok) noMemory_ = true;
        return ok;
    }
    void Failed(std::uint32_t error);

    bool Stopped() const { return noMemory_ || error_ != 0; }
    bool NoMemory() const { return noMemory_; }
    std::uint32_t Error() const { return error_; }  // the first error but memory; 0: none

private:
    InfSource& inf_;
    launcher::Heap& heap_;
    bool noMemory_ = false;
    std::uint32_t error_ = 0;
};

}  // namespace payload
