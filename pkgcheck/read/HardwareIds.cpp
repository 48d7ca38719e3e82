#include "pkgcheck/read/HardwareIds.h"

#include "payload/HardwareId.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {

std::vector<std::string> HardwareIdForms(std::string_view id) {
    payload::IdForm forms[payload::kMostIdForms];
    const std::size_t count = payload::IdForms(id, forms);
    if (count == 0) return {UpperAscii(id)};
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = "PCI\\";
        for (std::size_t p = 0; p < forms[i].count; ++p)
            text += (p == 0 ? "" : "&") + std::string(forms[i].pieces[p]);
        joined.push_back(UpperAscii(text));
    }
    return joined;
}

}  // namespace pkgcheck
