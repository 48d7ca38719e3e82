#include "payload/HardwareId.h"

#include "payload/Texts.h"

namespace payload {
namespace {

constexpr std::string_view kBus = "PCI\\";

// The pieces of PCI\VEN_v&DEV_d&SUBSYS_s&REV_r in that order; empty where
// absent.
struct PciPieces {
    std::string_view vendor, device, subsystem, revision;
};

bool SplitPciId(std::string_view id, PciPieces* pieces) {
    if (!StartsWithText(id, kBus)) return false;
    id.remove_prefix(kBus.size());
    std::string_view* slots[] = {&pieces->vendor, &pieces->device, &pieces->subsystem,
                                 &pieces->revision};
    const std::string_view prefixes[] = {"VEN_", "DEV_", "SUBSYS_", "REV_"};
    std::size_t slot = 0;
    while (!id.empty()) {
        const std::size_t amp = id.find('&');
        const std::string_view piece = Slice(id, 0, amp);
        while (slot < 4 && !StartsWithText(piece, prefixes[slot])) ++slot;
        if (slot == 4) return false;
        *slots[slot++] = piece;
        id.remove_prefix(amp == std::string_view::npos ? id.size() : amp + 1);
    }
    return !pieces->vendor.empty() && !pieces->device.empty();
}

void AddForm(IdForm (&forms)[kMostIdForms], std::size_t* count,
             std::initializer_list<std::string_view> pieces) {
    IdForm& form = forms[(*count)++];
    form.count = 0;
    for (const std::string_view piece : pieces)
        if (!piece.empty()) form.pieces[form.count++] = piece;
}

}  // namespace

bool IdForm::Spells(std::string_view id) const {
    if (!StartsWithText(id, kBus)) return false;
    id.remove_prefix(kBus.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            if (id.empty() || id[0] != '&') return false;
            id.remove_prefix(1);
        }
        if (!StartsWithText(id, pieces[i])) return false;
        id.remove_prefix(pieces[i].size());
    }
    return id.empty();
}

std::size_t IdForm::Length() const {
    std::size_t length = kBus.size() + (count > 0 ? count - 1 : 0);
    for (std::size_t i = 0; i < count; ++i) length += pieces[i].size();
    return length;
}

// A PCI device's hardware IDs are PCI\VEN&DEV&SUBSYS&REV, PCI\VEN&DEV&SUBSYS,
// PCI\VEN&DEV&REV and PCI\VEN&DEV, in that order
// (learn.microsoft.com/windows-hardware/drivers/install/identifiers-for-pci-devices).
std::size_t IdForms(std::string_view hardwareId, IdForm (&forms)[kMostIdForms]) {
    PciPieces p;
    if (!SplitPciId(hardwareId, &p)) return 0;
    std::size_t count = 0;
    AddForm(forms, &count, {p.vendor, p.device, p.subsystem, p.revision});
    const bool both = !p.subsystem.empty() && !p.revision.empty();
    if (both) AddForm(forms, &count, {p.vendor, p.device, p.subsystem});
    if (both) AddForm(forms, &count, {p.vendor, p.device, p.revision});
    if (!p.subsystem.empty() || !p.revision.empty()) AddForm(forms, &count, {p.vendor, p.device});
    return count;
}

bool NamesDevice(std::string_view modelId, std::string_view hardwareId) {
    if (SameText(modelId, hardwareId)) return true;
    IdForm forms[kMostIdForms];
    const std::size_t count = IdForms(hardwareId, forms);
    for (std::size_t i = 0; i < count; ++i)
        if (forms[i].Spells(modelId)) return true;
    return false;
}

}  // namespace payload
