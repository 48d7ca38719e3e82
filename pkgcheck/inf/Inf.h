#pragma once
// The PCI hardware IDs a setup-information file offers to Windows 2000 and
// XP on x86, and where else it offers IDs.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// One PCI ID of the INF; its text lies in InfContents::idText, so an INF of a
// million models costs a few bytes an ID beyond the IDs themselves.
struct InfHardwareId {
    std::uint32_t offset;
    std::uint32_t length;
    std::uint32_t section;  // index into InfContents::sections
    int line;
};

// A model section that [Manufacturer] gives to another platform than x86 NT
// 5.x: a 64-bit one, a later Windows, or an unstamped $ARCH$ template.
struct InfOtherSection {
    std::string name;
    std::string serves;    // what its decoration targets, e.g. "x64, NT 6.1 and later"
    bool x64Nt52 = false;  // read by XP x64 and Server 2003 x64

    // "[Intel.NTamd64] (x64)"
    std::string Label() const { return "[" + name + "] (" + serves + ")"; }
};

// An install section that models for x86 NT 5.x (or x64 NT 5.2) name, as they name it
// (undecorated): where it is named first, and by how many model lines.
struct InfInstall {
    std::string name;
    std::uint32_t section;  // index into InfContents::sections
    int line;
    std::uint32_t models = 0;
};

class InfDocument;

// The INF as read: its model sections and their IDs, the install sections
// they name, and the text for the stages that read more of it.
struct InfContents {
    std::string encoding;
    std::string error;                  // non-empty: the file could not be read as text
    std::vector<std::string> sections;  // model sections read, in order
    // The model sections [Manufacturer] gives to 2000 and XP on x86, whether
    // the file has them or not.
    std::vector<std::string> nt5Names;
    std::string idText;                // the IDs' texts, one after the other
    std::vector<InfHardwareId> ids;    // PCI IDs, first occurrence of each
    std::vector<InfInstall> installs;  // each once, letter case aside, in order
    // The same for the models that XP x64 and Server 2003 x64 read (their
    // `section` indexes otherSections).
    std::vector<InfInstall> installsX64;

    // The same for the other model sections: each ID once (its `section`
    // indexes otherSections), and every section it stands in as pairs of
    // (index into otherIds, index into otherSections), sorted.
    std::vector<InfOtherSection> otherSections;
    std::vector<InfHardwareId> otherIds;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> otherPlaces;
    std::vector<Finding> warnings;
    // Why it could not be read as text, or that it gives 2000 and XP on x86
    // no model, so that the package installs nothing there.
    std::vector<Finding> errors;
    // The text and its sections, for the stages that read more of the file;
    // none when it could not be read.
    std::shared_ptr<const InfDocument> document;

    // As written, %strkey% tokens replaced, e.g. PCI\VEN_8086&DEV_2922.
    std::string_view Id(std::size_t j) const {
        return std::string_view(idText).substr(ids[j].offset, ids[j].length);
    }
    const std::string& SectionOf(std::size_t j) const { return sections[ids[j].section]; }
    std::string_view OtherId(std::size_t k) const {
        return std::string_view(idText).substr(otherIds[k].offset, otherIds[k].length);
    }
};

// Whether a [Manufacturer] target decoration (NTx86.5.1, NT, NTamd64.6.0...)
// applies to NT 5.x on x86.
bool DecorationAppliesToX86Nt5(std::string_view decoration);
// Whether it applies to NT 5.2 on x64 (NTamd64, NTamd64.5.2...): XP x64 and
// Server 2003 x64.
bool DecorationAppliesToX64Nt52(std::string_view decoration);
// What a decoration targets, in words: "x64, NT 6.1 and later".
std::string DescribeDecoration(std::string_view decoration);

// Takes the bytes over: an ANSI file is read where it lies.
InfContents ReadInf(std::string bytes, const std::string& file);

}  // namespace pkgcheck
