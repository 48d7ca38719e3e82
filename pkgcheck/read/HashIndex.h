#pragma once
// Finding a text again by its bytes, in time that grows with the text and
// not with how many there are: a list or an INF can hold a million of them.
// The texts stay where their owner keeps them; the index holds 32-bit
// numbers only, eight bytes a slot.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Mbcs.h"

namespace pkgcheck {

// A polynomial hash, so that a window can slide over a text one byte at a
// time; `fold` maps each byte first (to compare letters ignoring case).
constexpr std::uint64_t kHashBase = 0x100000001B3ull;

inline char NoFold(char c) { return c; }
inline char FoldCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

template <typename Fold = char (*)(char)>
std::uint64_t HashOf(std::string_view text, Fold fold = NoFold) {
    std::uint64_t h = 0;
    for (const char c : text) h = h * kHashBase + static_cast<unsigned char>(fold(c));
    return h;
}

// Calls visit(start, hash) for each window of `length` bytes of `text` that
// starts at a character boundary of the code page, in order, until visit
// returns true; says whether one did. The hash is HashOf(window, fold).
template <typename Visit, typename Fold = char (*)(char)>
bool AnyWindow(std::string_view text, std::size_t length, const launcher::CodePage& cp,
               Visit&& visit, Fold fold = NoFold) {
    if (length == 0 || length > text.size()) return false;
    std::uint64_t top = 1;  // weight of the byte leaving the window
    for (std::size_t i = 1; i < length; ++i) top *= kHashBase;
    std::uint64_t h = HashOf(text.substr(0, length), fold);
    std::size_t boundary = 0;
    for (std::size_t start = 0;; ++start) {
        if (start == boundary) {
            if (visit(start, h)) return true;
            boundary = cp.Next(text, start);
        }
        if (start + length >= text.size()) return false;
        h = (h - top * static_cast<unsigned char>(fold(text[start]))) * kHashBase +
            static_cast<unsigned char>(fold(text[start + length]));
    }
}

class HashIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Room for `expected` numbers before the first growth.
    explicit HashIndex(std::size_t expected = 0) { Resize(expected); }

    // The first number added under `hash` for which same(number) holds, or
    // kNone.
    template <typename Same>
    std::uint32_t Find(std::uint64_t hash, Same&& same) const {
        const std::uint32_t tag = Tag(hash);
        for (std::size_t i = tag >> shift_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.number == 0) return kNone;
            if (slot.tag == tag && same(slot.number - 1)) return slot.number - 1;
        }
    }

    // The caller has made sure no equal text is in yet.
    void Add(std::uint64_t hash, std::uint32_t number) {
        if ((count_ + 1) * 4 > slots_.size() * 3) Resize(slots_.size());
        Place({Tag(hash), number + 1});
        ++count_;
    }

private:
    struct Slot {
        std::uint32_t tag;     // high bits of the mixed hash; also picks the slot
        std::uint32_t number;  // plus one; 0 marks a free slot
    };

    static std::uint32_t Tag(std::uint64_t hash) {
        return static_cast<std::uint32_t>((hash * 0x9E3779B97F4A7C15ull) >> 32);
    }

    void Place(Slot slot) {
        std::size_t i = slot.tag >> shift_;
        while (slots_[i].number != 0) i = (i + 1) & mask_;
        slots_[i] = slot;
    }

    // At most three quarters full, so a search ends after a few slots.
    void Resize(std::size_t atLeast) {
        unsigned bits = 4;
        while ((std::size_t{1} << bits) * 3 < (atLeast + 1) * 4 && bits < 32) ++bits;
        std::vector<Slot> old(std::size_t{1} << bits, Slot{0, 0});
        old.swap(slots_);
        shift_ = 32 - bits;
        mask_ = slots_.size() - 1;
        for (const Slot& slot : old)
            if (slot.number != 0) Place(slot);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    unsigned shift_ = 0;
    std::size_t mask_ = 0;
};

}  // namespace pkgcheck
