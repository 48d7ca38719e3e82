#include "pkgcheck/machines/NameList.h"

#include <algorithm>
#include <functional>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {

NameList::NameList(std::initializer_list<std::string_view> names) {
    for (const std::string_view name : names) Add(name);
}

void NameList::Add(std::string_view name) {
    const std::less<const char*> before;
    const char* begin = text_.data();
    const bool inside =
        !before(name.data(), begin) && !before(begin + text_.size(), name.data() + name.size());
    const std::size_t offset =
        inside ? static_cast<std::size_t>(name.data() - begin) : text_.size();
    spans_.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(name.size())});
    if (!inside) text_.append(name);
}

std::string_view NameList::Adopt(std::string text) {
    text_ = std::move(text);
    return text_;
}

std::vector<std::string> NameList::ToVector() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < size(); ++i) names.emplace_back((*this)[i]);
    return names;
}

namespace {

// Up to eight bytes of a name from `at` on, upper case, as one number that
// orders as the registry orders the bytes.
std::uint64_t KeyAt(std::string_view name, std::size_t at) {
    std::uint64_t key = 0;
    for (std::size_t i = at; i < at + 8; ++i) {
        const auto c = i < name.size() ? static_cast<unsigned char>(name[i]) : 0u;
        key = (key << 8) | (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return key;
}

}  // namespace

void NameList::SortAsRegistry() {
    // Most comparisons end within the first sixteen bytes; holding those
    // beside each name spares a visit to the text, which a million names
    // spread far beyond any cache.
    struct Keyed {
        std::uint64_t high;
        std::uint64_t low;
        Span span;
    };
    const std::string_view text(text_);
    auto view = [text](const Span& s) { return text.substr(s.offset, s.length); };
    std::vector<Keyed> keyed;
    keyed.reserve(spans_.size());
    for (const Span& s : spans_) keyed.push_back({KeyAt(view(s), 0), KeyAt(view(s), 8), s});
    std::vector<Span>().swap(spans_);
    // Among names equal but for letter case the first in the file comes
    // first, and is the one kept.
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        const std::string_view x = view(a.span);
        const std::string_view y = view(b.span);
        const std::string_view restX = x.substr(std::min<std::size_t>(16, x.size()));
        const std::string_view restY = y.substr(std::min<std::size_t>(16, y.size()));
        if (PrecedesInRegistry(restX, restY)) return true;
        if (PrecedesInRegistry(restY, restX)) return false;
        return a.span.offset < b.span.offset;
    });
    std::vector<Span> order;
    order.reserve(keyed.size());
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        const bool twin = i > 0 && keyed[i].high == keyed[i - 1].high &&
                          keyed[i].low == keyed[i - 1].low &&
                          EqualsIgnoringCase(view(keyed[i].span), view(keyed[i - 1].span));
        if (twin) continue;
        order.push_back(keyed[i].span);
        bytes += keyed[i].span.length;
    }
    std::vector<Keyed>().swap(keyed);
    // The text laid out anew in the sorted order, so that the replay and the
    // report read it front to back.
    std::string sorted;
    sorted.reserve(bytes);
    for (Span& s : order) {
        const std::string_view name = view(s);
        s.offset = static_cast<std::uint32_t>(sorted.size());
        sorted.append(name);
    }
    text_.swap(sorted);
    spans_.swap(order);
}

}  // namespace pkgcheck
