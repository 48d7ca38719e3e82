#pragma once
// Whether the INF installs the device the launcher chose, judged as Windows
// picks a driver: by the device's hardware IDs.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

struct ChosenInInf {
    std::vector<std::string> hardwareIds;  // the device's, most specific first
    int infId = -1;                        // index into InfContents::ids, or -1: none names it
};

// The INF's IDs by their upper-case form, each to its first place, so that
// every machine of a fleet is looked up without a pass over all of them.
class InfIdIndex {
public:
    InfIdIndex(const InfContents& inf, const std::string& infFile);

    // The first INF ID that names one of the hardware IDs of the device
    // whose subkey name is `chosen`, letter case aside, as Windows matches
    // them. When none does, a warning names `source`, the device file.
    ChosenInInf Find(std::string_view chosen, const std::string& source,
                     std::vector<Finding>* warnings) const;

private:
    std::unordered_map<std::string, int> first_;
    std::string infFile_;
};

}  // namespace pkgcheck
