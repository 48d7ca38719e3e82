#pragma once
// key.ini as the launcher reads it: its entries, where they sit in the file,
// and the traps they fall into.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/Finding.h"
#include "pkgcheck/Text.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

struct ListEntry {
    std::string text;    // as the launcher keeps it
    std::size_t offset;  // of its first byte, just after the '='
    int line;            // of its '='
    int lastLine;        // of its last byte; later than `line` when LF bytes merged lines
};

// The launcher's entries of `content` (which holds no NUL), each with its
// place in the file.
std::vector<ListEntry> LocateEntries(std::string_view content, const launcher::CodePage& cp,
                                     const LineIndex& lines);

// How an entry fits the subkey names of PCI devices,
// VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh in upper-case hexadecimal.
struct EntryShape {
    bool canMatch = false;
    // Non-empty when the entry can start or end inside a hexadecimal value
    // and so matches more devices than its whole tokens would: says how.
    std::string partial;
};
EntryShape JudgeShape(std::string_view entry);

struct ListCheck {
    std::size_t size = 0;
    std::size_t nulOffset = std::string_view::npos;
    std::vector<ListEntry> entries;
    std::vector<Finding> warnings;
};
// `file` names key.ini in the findings.
ListCheck CheckList(std::string_view bytes, const launcher::CodePage& cp, const std::string& file);

}  // namespace pkgcheck
