#include "pkgcheck/inf/InfServices.h"

#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

// "key = value"; a line without '=' has an empty key.
struct KeyValue {
    std::string_view key;
    std::string_view value;
};

KeyValue SplitLine(std::string_view text) {
    const std::size_t eq = FindUnquoted(text, '=');
    if (eq == std::string_view::npos) return {{}, text};
    return {TrimBlanks(text.substr(0, eq)), text.substr(eq + 1)};
}

}  // namespace

std::vector<ServiceBinary> ServiceBinariesOf(const InfFile& inf,
                                             const std::string& installSection) {
    std::vector<ServiceBinary> binaries;
    const std::uint32_t services = inf.Find(installSection + ".Services");
    if (services == InfFile::kNone) return binaries;
    std::string scratch;
    std::string expanded;
    const auto value = [&](std::string_view field) {
        return std::string(inf.Substitute(Unquoted(field, &scratch), &expanded));
    };
    inf.ForEachLine(services, [&](const LogicalLine& l) {
        const KeyValue kv = SplitLine(l.text);
        if (!EqualsIgnoringCase(kv.key, "AddService")) return;
        std::string service;
        std::string serviceSection;
        ForEachField(kv.value, ',', [&](std::size_t i, std::string_view field) {
            if (i == 0) service = value(field);
            if (i == 2) serviceSection = value(field);
        });
        const std::uint32_t section = inf.Find(serviceSection);
        if (section == InfFile::kNone) return;
        inf.ForEachLine(section, [&](const LogicalLine& s) {
            const KeyValue binary = SplitLine(s.text);
            if (EqualsIgnoringCase(binary.key, "ServiceBinary"))
                binaries.push_back({service, value(binary.value), s.line});
        });
    });
    return binaries;
}

}  // namespace pkgcheck
