#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "pkgcheck/check/Check.h"

namespace pkgcheck {

// The report for people, and the same content for scripts, handed to
// `output` a block at a time: a report over a million device names is not
// held whole.
using Output = std::function<void(std::string_view)>;
void FormatText(const Report& report, const Output& output);
void FormatJson(const Report& report, const Output& output);

// One finding on a line of its own: "key.ini line 3, entry 2 [kind]: message".
std::string FindingLine(const Finding& finding);

// The whole report as one string.
std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);

}  // namespace pkgcheck
