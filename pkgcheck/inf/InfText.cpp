#include "pkgcheck/inf/InfText.h"

#include <functional>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {

std::string_view WithoutComment(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ';' && !quoted) return line.substr(0, i);
    }
    return line;
}

std::size_t FindUnquoted(std::string_view text, char c) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == c && !quoted) return i;
    }
    return std::string_view::npos;
}

std::string_view Unquoted(std::string_view field, std::string* scratch) {
    field = TrimBlanks(field);
    const std::size_t quote = field.find('"');
    if (quote == std::string_view::npos) return field;
    if (quote == 0 && field.size() >= 2 && field.find('"', 1) == field.size() - 1)
        return field.substr(1, field.size() - 2);
    scratch->clear();
    bool quoted = false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '"' && quoted && i + 1 < field.size() && field[i + 1] == '"') {
            *scratch += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else {
            *scratch += c;
        }
    }
    return *scratch;
}

bool LineReader::Next(LogicalLine* out) {
    if (at_ >= text_.size()) return false;
    out->begin = at_;
    out->line = line_;
    std::string_view line = TrimBlanks(WithoutComment(Physical()));
    if (!line.empty() && line.back() == '\\' && at_ < text_.size()) {
        joined_.assign(line.substr(0, line.size() - 1));
        joined_ += TrimBlanks(WithoutComment(Physical()));
        while (!joined_.empty() && joined_.back() == '\\' && at_ < text_.size()) {
            joined_.pop_back();
            joined_ += TrimBlanks(WithoutComment(Physical()));
        }
        line = joined_;
    }
    out->text = line;
    out->end = at_;
    return true;
}

std::string_view LineReader::Physical() {
    std::size_t end = text_.find('\n', at_);
    const std::size_t next = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = next;
    ++line_;
    return line;
}

InfFile::InfFile(std::string_view text) : text_(text) {
    LineReader reader(text, 1);
    LogicalLine l;
    std::uint32_t open = kNone;  // the chunk that runs until the next header
    while (reader.Next(&l)) {
        if (l.text.empty() || l.text.front() != '[') continue;
        if (open != kNone) chunks_[open].end = l.begin;
        const std::size_t close = l.text.find(']');
        const std::string_view name = Lasting(TrimBlanks(l.text.substr(1, close - 1)));
        open = static_cast<std::uint32_t>(chunks_.size());
        chunks_.push_back({l.end, text.size(), reader.NextLineNumber(), kNone});
        Section& section = sections_[SectionNamed(name)];
        if (section.last != kNone) chunks_[section.last].next = open;
        if (section.first == kNone) section.first = open;
        section.last = open;
    }
    CollectStrings();
}

std::uint32_t InfFile::Find(std::string_view name) const {
    return sectionIndex_.Find(HashOf(name, FoldCase), [&](std::uint32_t s) {
        return EqualsIgnoringCase(sections_[s].name, name);
    });
}

std::string_view InfFile::Substitute(std::string_view text, std::string* scratch) const {
    if (text.find('%') == std::string_view::npos) return text;
    scratch->clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string_view::npos;
        if (close == std::string_view::npos) {
            *scratch += text[i++];
            continue;
        }
        const std::string_view key = text.substr(i + 1, close - i - 1);
        const std::uint32_t value = key.empty() ? kNone : FindString(key);
        if (key.empty())
            *scratch += '%';
        else if (value != kNone)
            *scratch += strings_[value].value;
        else
            *scratch += text.substr(i, close - i + 1);
        i = close + 1;
    }
    return *scratch;
}

// A view that outlives the line it came from: the file's own bytes stay,
// anything built from them is copied.
std::string_view InfFile::Lasting(std::string_view view) {
    const std::less<const char*> before;
    const bool inText = !before(view.data(), text_.data()) &&
                        !before(text_.data() + text_.size(), view.data() + view.size());
    if (inText) return view;
    return owned_.emplace_back(view);
}

std::uint32_t InfFile::SectionNamed(std::string_view name) {
    const std::uint32_t found = Find(name);
    if (found != kNone) return found;
    const auto added = static_cast<std::uint32_t>(sections_.size());
    sections_.push_back({name, kNone, kNone});
    sectionIndex_.Add(HashOf(name, FoldCase), added);
    return added;
}

std::uint32_t InfFile::FindString(std::string_view key) const {
    return stringIndex_.Find(HashOf(key, FoldCase), [&](std::uint32_t s) {
        return EqualsIgnoringCase(strings_[s].key, key);
    });
}

// The undecorated [Strings] wins over localized ones; among those, the
// first definition stands.
void InfFile::CollectStrings() {
    std::string scratch;
    for (std::uint32_t s = 0; s < sections_.size(); ++s) {
        const std::string_view name = sections_[s].name;
        const bool plain = EqualsIgnoringCase(name, "Strings");
        if (!plain && !StartsWithIgnoringCase(name, "Strings.")) continue;
        ForEachLine(s, [&](const LogicalLine& l) {
            const std::size_t eq = FindUnquoted(l.text, '=');
            if (eq == std::string_view::npos) return;
            const std::string_view key = TrimBlanks(l.text.substr(0, eq));
            const std::string_view value = Unquoted(l.text.substr(eq + 1), &scratch);
            const std::uint32_t known = FindString(key);
            if (known == kNone) {
                strings_.push_back({Lasting(key), Lasting(value)});
                stringIndex_.Add(HashOf(key, FoldCase),
                                 static_cast<std::uint32_t>(strings_.size() - 1));
            } else if (plain) {
                strings_[known].value = Lasting(value);
            }
        });
    }
}

}  // namespace pkgcheck
