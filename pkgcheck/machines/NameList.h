#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// Subkey names kept in one block of text: a million names cost their bytes
// and eight more each, not a string object each.
class NameList {
public:
    NameList() = default;
    NameList(std::initializer_list<std::string_view> names);

    void Add(std::string_view name);
    // Takes over the text names are read from, so that a name lying in it
    // is kept as a place in it rather than copied. Returns that text.
    std::string_view Adopt(std::string text);
    void Reserve(std::size_t names) { spans_.reserve(names); }
    void ReserveText(std::size_t bytes) { text_.reserve(bytes); }
    std::size_t size() const { return spans_.size(); }
    bool empty() const { return spans_.empty(); }
    std::string_view operator[](std::size_t i) const {
        return std::string_view(text_).substr(spans_[i].offset, spans_[i].length);
    }
    std::vector<std::string> ToVector() const;

    // Sorts as the registry keeps subkeys and drops names that differ from
    // an earlier one by letter case only, since the registry cannot hold
    // both. Names hold no NUL byte (no registry name does, and a device
    // file with one is refused): "A" and "A<NUL>" would rank as equal.
    void SortAsRegistry();

private:
    struct Span {
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::string text_;
    std::vector<Span> spans_;
};

}  // namespace pkgcheck
