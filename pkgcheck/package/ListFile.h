#pragma once
// key.ini as the launcher reads it: its entries, where they sit in the file,
// and the traps they fall into.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/read/Finding.h"
#include "pkgcheck/read/Text.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

// Where an entry lies in the list's bytes: like the launcher, the check keeps
// no copy of its own, so a list costs little more than its file.
struct ListEntry {
    std::size_t offset;  // of its first byte, just after the '='
    std::size_t length;
    int line;      // of its '='
    int lastLine;  // of its last byte; later than `line` when LF bytes merged lines
};

// The launcher's entries of `content` (which holds no NUL), each with its
// place in the file.
std::vector<ListEntry> LocateEntries(std::string_view content, const launcher::CodePage& cp);

// How an entry fits the subkey names of PCI devices,
// VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh in upper-case hexadecimal.
struct EntryShape {
    bool canMatch = false;
    // Non-empty when the entry can start or end inside a hexadecimal value
    // and so matches more devices than its whole tokens would: says how.
    std::string partial;
};
EntryShape JudgeShape(std::string_view entry);

// key.ini as read: its bytes, its entries and the traps they fall into.
struct ListFile {
    std::string bytes;  // the whole file
    std::size_t nulOffset = std::string_view::npos;
    std::vector<ListEntry> entries;
    std::vector<Finding> warnings;

    std::string_view Text(const ListEntry& e) const {
        return std::string_view(bytes).substr(e.offset, e.length);
    }
    std::string_view Text(std::size_t entry) const { return Text(entries[entry]); }
};
// `file` names key.ini in the findings.
ListFile ReadList(std::string bytes, const launcher::CodePage& cp, const std::string& file);

}  // namespace pkgcheck
