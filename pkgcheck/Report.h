#pragma once

#include <string>

#include "pkgcheck/Check.h"

namespace pkgcheck {

// The report for people, and the same content for scripts.
std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);

}  // namespace pkgcheck
