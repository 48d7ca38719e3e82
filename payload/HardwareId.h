#pragma once
// The hardware IDs a PCI device goes by, as Windows derives them from its
// most specific one: the rule by which the tool picks the models for the
// device, pkgcheck judges a machine's devices and compares the INF's x86
// and x64 models.

#include <cstddef>
#include <string_view>

namespace payload {

// One hardware ID: "PCI\" and `count` pieces joined by '&'.
struct IdForm {
    std::string_view pieces[4];
    std::size_t count = 0;

    // Whether `id` spells this form, letter case aside.
    bool Spells(std::string_view id) const;
    // Its length as "PCI\" and the joined pieces.
    std::size_t Length() const;
};

constexpr std::size_t kMostIdForms = 4;

// The forms `hardwareId` (PCI\VEN_v&DEV_d[&SUBSYS_s][&REV_r]) and the
// device it names go by, the most specific first, each once: itself,
// without its revision, without its subsystem, and both without. 0 when it
// is no such ID.
std::size_t IdForms(std::string_view hardwareId, IdForm (&forms)[kMostIdForms]);

// Whether a model's hardware or compatible ID names the device with this
// hardware ID, letter case aside.
bool NamesDevice(std::string_view modelId, std::string_view hardwareId);

}  // namespace payload
