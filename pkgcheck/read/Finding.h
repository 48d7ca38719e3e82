#pragma once
// What every stage tells: one warning or error. It lies at the bottom so
// that each stage hands its findings up as they are, and none converts
// another's.

#include <string>

namespace pkgcheck {

enum class Severity { Warning, Error };

// Whose installation a finding concerns. A package that serves XP x64 and
// Server 2003 x64 goes there through other files (amd64\install.exe, the
// amd64 payload): what only they meet does not stop the installation on
// 2000 and XP, and what only x86 meets does not stop it on x64.
enum class Scope { Both, X86, Amd64 };

// One warning or error, with a stable `kind` for scripts.
struct Finding {
    std::string kind;
    std::string file;  // as the package or the command line names it
    int line = 0;      // 0: the file as a whole
    int entry = 0;     // 1-based list entry, 0: none
    std::string message;
    Severity severity = Severity::Warning;
    Scope scope = Scope::Both;
};

}  // namespace pkgcheck
