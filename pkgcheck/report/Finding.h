#pragma once

#include <string>

namespace pkgcheck {

// One warning or error, with a stable `kind` for scripts.
struct Finding {
    std::string kind;
    std::string file;  // as the package or the command line names it
    int line = 0;      // 0: the file as a whole
    int entry = 0;     // 1-based list entry, 0: none
    std::string message;
};

}  // namespace pkgcheck
