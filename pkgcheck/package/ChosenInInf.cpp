#include "pkgcheck/package/ChosenInInf.h"

#include "pkgcheck/machines/Devices.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {

InfIdIndex::InfIdIndex(const InfContents& inf, const std::string& infFile) : infFile_(infFile) {
    for (std::size_t j = 0; j < inf.ids.size(); ++j)
        first_.emplace(UpperAscii(TrimBlanks(inf.Id(j))), static_cast<int>(j));
}

ChosenInInf InfIdIndex::Find(std::string_view chosen, const std::string& source,
                             std::vector<Finding>* warnings) const {
    ChosenInInf found;
    found.hardwareIds = HardwareIdsOf(chosen);
    for (const std::string& id : found.hardwareIds) {
        const auto at = first_.find(UpperAscii(id));
        if (at == first_.end()) continue;
        found.infId = at->second;
        return found;
    }
    std::string ids;
    for (const std::string& id : found.hardwareIds) ids += (ids.empty() ? "" : ", ") + Visible(id);
    warnings->push_back({"chosen-not-in-inf", source, 0, 0,
                         "the launcher starts the installer for " + ShortVisible(chosen) +
                             ", but no PCI hardware ID of " + infFile_ +
                             " for x86 NT 5.x is one of its IDs (" + ids +
                             "): the INF does not install that device",
                         Severity::Warning, Scope::X86});
    return found;
}

}  // namespace pkgcheck
