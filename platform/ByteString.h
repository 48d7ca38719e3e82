#pragma once
// An 8-bit string whose memory comes from the platform's heap. Running out of
// memory is a result, not an exception: every call that may need memory
// returns false then, and the string stays failed (and empty) until it is
// assigned anew, so a chain of appends can be checked once at its end.

#include <cstddef>
#include <string_view>

namespace launcher {

class Heap;
class Platform;

class ByteString {
public:
    explicit ByteString(Heap& heap) : heap_(&heap) {}
    // The platform's heap, for a caller that knows the platform by name only.
    explicit ByteString(Platform& platform);
    ~ByteString();
    ByteString(const ByteString&) = delete;
    ByteString& operator=(const ByteString&) = delete;

    bool Assign(std::string_view text);
    bool Append(std::string_view text);
    bool Append(char c) { return Append(std::string_view(&c, 1)); }
    // `size` bytes of room, for a caller that writes into data(); the bytes
    // past the old length are unspecified until written.
    bool Resize(std::size_t size);
    // Keeps the first `size` bytes (no more than there are).
    void Truncate(std::size_t size);
    // Empties the string and forgets a failure.
    void Clear();

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    char* data() { return data_; }
    // Always NUL-terminated; "" while nothing is held.
    const char* c_str() const { return data_ ? data_ : ""; }
    std::string_view view() const { return std::string_view(c_str(), size_); }

private:
    bool Reserve(std::size_t size);
    bool Fail();
    // Whether `text` lies within this string's own text.
    bool Holds(std::string_view text) const;

    Heap* heap_;
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;  // bytes of text the block holds, NUL not counted
    bool failed_ = false;
};

}  // namespace launcher
