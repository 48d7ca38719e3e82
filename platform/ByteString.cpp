#include "platform/ByteString.h"

#include <cstdint>
#include <limits>

#include "platform/Bytes.h"
#include "platform/Platform.h"

namespace launcher {

ByteString::ByteString(Platform& platform) : heap_(&platform) {}

ByteString::~ByteString() { heap_->Release(data_); }

bool ByteString::Fail() {
    Clear();
    failed_ = true;
    return false;
}

bool ByteString::Reserve(std::size_t size) {
    if (size <= capacity_ && data_) return true;
    constexpr std::size_t kMost = std::numeric_limits<std::size_t>::max() / 2;
    if (size >= kMost) return false;
    // Doubling keeps a string built by many appends to a few copies.
    std::size_t capacity = capacity_ < 15 ? 15 : capacity_;
    while (capacity < size) capacity = capacity * 2 + 1;
    char* block = static_cast<char*>(heap_->Allocate(capacity + 1));
    if (!block) return false;
    CopyBytes(block, c_str(), size_ + 1);
    heap_->Release(data_);
    data_ = block;
    capacity_ = capacity;
    return true;
}

bool ByteString::Assign(std::string_view text) {
    failed_ = false;
    if (Holds(text)) {
        MoveBytes(data_, text.data(), text.size());
        size_ = text.size();
        data_[size_] = '\0';
        return true;
    }
    size_ = 0;
    return Append(text);
}

bool ByteString::Append(std::string_view text) {
    if (failed_) return false;
    if (text.size() > std::numeric_limits<std::size_t>::max() / 2 - size_) return Fail();
    // The text may lie in this string's own block, which Reserve can move.
    const bool inside = Holds(text);
    const std::size_t offset = inside ? static_cast<std::size_t>(text.data() - data_) : 0;
    if (!Reserve(size_ + text.size())) return Fail();
    const char* from = inside ? data_ + offset : text.data();
    MoveBytes(data_ + size_, from, text.size());
    size_ += text.size();
    data_[size_] = '\0';
    return true;
}

bool ByteString::Resize(std::size_t size) {
    if (failed_) return false;
    if (!Reserve(size)) return Fail();
    size_ = size;
    data_[size_] = '\0';
    return true;
}

void ByteString::Truncate(std::size_t size) {
    if (size >= size_) return;
    size_ = size;
    data_[size_] = '\0';
}

bool ByteString::Holds(std::string_view text) const {
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(data_);
    return data_ && at >= begin && at <= begin + size_;
}

void ByteString::Clear() {
    failed_ = false;
    heap_->Release(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

}  // namespace launcher
