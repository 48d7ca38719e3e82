#include "pkgcheck/inf/InfFields.h"

#include <algorithm>
#include <new>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

// winerror.h
constexpr std::uint32_t kErrorInvalidParameter = 87;

}  // namespace

void* NewHeap::Allocate(std::size_t bytes) { return ::operator new(bytes, std::nothrow); }
void NewHeap::Release(void* block) { ::operator delete(block); }

// key = value, value, ...: a line without '=' has values only, and its
// first value stands for its key where a key is read
// (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetstringfielda: field 0 is
// the key).
const InfFields::Lines& InfFields::Parsed(std::uint32_t section) {
    const auto known = parsed_.find(section);
    if (known != parsed_.end()) return known->second;
    Lines& lines = parsed_[section];
    std::string scratch;
    std::string expanded;
    file_.ForEachLine(section, [&](const LogicalLine& l) {
        Line line{false, {}, {}, l.line};
        std::string_view values = l.text;
        const std::size_t eq = FindUnquoted(l.text, '=');
        if (eq != std::string_view::npos) {
            line.keyed = true;
            line.key = file_.Substitute(Unquoted(l.text.substr(0, eq), &scratch), &expanded);
            values = l.text.substr(eq + 1);
        }
        ForEachField(values, ',', [&](std::size_t, std::string_view field) {
            line.values.emplace_back(file_.Substitute(Unquoted(field, &scratch), &expanded));
        });
        if (line.keyed)
            lines.byKey[UpperAscii(line.key)].push_back(static_cast<unsigned>(lines.lines.size()));
        lines.lines.push_back(std::move(line));
    });
    return lines;
}

const InfFields::Lines& InfFields::LinesOf(const payload::InfPlace& place) {
    return *static_cast<const Lines*>(place.a);
}
const InfFields::Line& InfFields::LineAt(const payload::InfPlace& place) {
    return LinesOf(place).lines[place.c];
}

// The first line at or after the place's whose key is `key`, or any line.
bool InfFields::Seek(payload::InfPlace* place, const char* key) {
    const Lines& lines = LinesOf(*place);
    if (!key) return place->c < lines.lines.size();
    const auto keyed = lines.byKey.find(UpperAscii(key));
    if (keyed == lines.byKey.end()) return false;
    const auto at = std::lower_bound(keyed->second.begin(), keyed->second.end(), place->c);
    if (at == keyed->second.end()) return false;
    place->c = *at;
    return true;
}

bool InfFields::FirstLine(const char* section, const char* key, payload::InfPlace* place) {
    const std::uint32_t found = file_.Find(section);
    if (found == InfFile::kNone) return false;
    *place = {const_cast<Lines*>(&Parsed(found)), nullptr, 0, 0};
    return Seek(place, key);
}

bool InfFields::NextLine(payload::InfPlace* place) {
    if (place->c + 1 >= LinesOf(*place).lines.size()) return false;
    ++place->c;
    return true;
}

bool InfFields::NextMatchLine(payload::InfPlace* place, const char* key) {
    payload::InfPlace next = *place;
    ++next.c;
    if (!Seek(&next, key)) return false;
    *place = next;
    return true;
}

unsigned InfFields::FieldCount(const payload::InfPlace& place) {
    return static_cast<unsigned>(LineAt(place).values.size());
}

bool InfFields::Field(const payload::InfPlace& place, unsigned index, launcher::ByteString& text) {
    const Line& line = LineAt(place);
    const std::string* value = nullptr;
    if (index == 0)
        value = line.keyed ? &line.key : line.values.empty() ? nullptr : &line.values[0];
    else if (index <= line.values.size())
        value = &line.values[index - 1];
    lastError_ = value == nullptr       ? kErrorInvalidParameter
                 : !text.Assign(*value) ? payload::kErrorNotEnoughMemory
                                        : 0;
    return lastError_ == 0;
}

bool InfFields::HasSection(const char* section) { return file_.Find(section) != InfFile::kNone; }

int InfFields::LineNumber(const payload::InfPlace& place) const { return LineAt(place).number; }

}  // namespace pkgcheck
