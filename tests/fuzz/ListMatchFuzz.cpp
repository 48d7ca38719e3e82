// The list parser and the device match against a plain model of what they
// are meant to do, written here without the launcher's code: the same
// entries in the same order, and the same first matching subkey, in a
// single-byte code page and with the lead bytes of code page 932.
//
// Input: one byte of flags (bit 0: code page 932), two bytes giving the
// length of the list text (little-endian), the list text, then subkey names
// separated by LF.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/LauncherApp.h"
#include "probes/DeviceMatch.h"
#include "probes/SupportedIds.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/unit/FakePlatform.h"
#include "tests/unit/IdTexts.h"

namespace {

using launcher::CodePage;

bool IsLead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

struct Model {
    bool dbcs;

    bool Lead(char c) const { return dbcs && IsLead932(static_cast<unsigned char>(c)); }
    // A lead byte takes the next byte with it, unless it is the last one.
    std::size_t Step(std::string_view s, std::size_t i) const {
        return Lead(s[i]) && i + 1 < s.size() ? i + 2 : i + 1;
    }

    // The text up to its first NUL, cut into segments at every CR; in a
    // segment the first '=' that is a character of its own starts an entry
    // running to the segment's end.
    std::vector<std::string> Entries(std::string_view file) const {
        const std::string_view content = file.substr(0, file.find('\0'));
        std::vector<std::string> entries;
        std::size_t begin = 0;
        while (begin <= content.size()) {
            std::size_t end = content.find('\r', begin);
            if (end == std::string_view::npos) end = content.size();
            const std::string_view segment = content.substr(begin, end - begin);
            for (std::size_t i = 0; i < segment.size(); i = Step(segment, i)) {
                if (segment[i] == '=') {
                    entries.emplace_back(segment.substr(i + 1));
                    break;
                }
            }
            begin = end + 1;
        }
        return entries;
    }

    bool Contains(std::string_view name, std::string_view entry) const {
        if (entry.empty()) return !name.empty();
        for (std::size_t i = 0; i < name.size(); i = Step(name, i))
            if (name.substr(i, entry.size()) == entry) return true;
        return false;
    }

    // The first entry the name contains, or -1.
    int FirstEntry(std::string_view name, const std::vector<std::string>& entries) const {
        for (std::size_t j = 0; j < entries.size(); ++j)
            if (Contains(name, entries[j])) return static_cast<int>(j);
        return -1;
    }

    // The first name containing any entry; the scan fails at a name that
    // does not fit the launcher's 255-byte buffer. -1: none.
    int Chosen(const std::vector<std::string>& names,
               const std::vector<std::string>& entries) const {
        for (std::size_t n = 0; n < names.size(); ++n) {
            if (names[n].size() > 254) return -1;
            if (FirstEntry(names[n], entries) >= 0) return static_cast<int>(n);
        }
        return -1;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const bool dbcs = (data[0] & 1) != 0;
    std::size_t listSize = data[1] | (static_cast<std::size_t>(data[2]) << 8);
    const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    if (listSize > rest.size()) listSize = rest.size();
    const std::string list(rest.substr(0, listSize));

    // Registry names hold no NUL.
    std::vector<std::string> names;
    std::string_view tail = rest.substr(listSize);
    while (!tail.empty()) {
        const std::size_t lf = tail.find('\n');
        const std::string_view name = tail.substr(0, lf);
        if (name.find('\0') == std::string_view::npos) names.emplace_back(name);
        tail = lf == std::string_view::npos ? std::string_view() : tail.substr(lf + 1);
    }

    const Model model{dbcs};
    const std::vector<std::string> expected = model.Entries(list);
    const int chosen = model.Chosen(names, expected);

    launcher::testing::FakePlatform fake;
    if (dbcs)
        for (int b = 0; b < 256; ++b)
            if (IsLead932(static_cast<unsigned char>(b)))
                fake.leadBytes.insert(static_cast<unsigned char>(b));
    fake.files["C:\\pkg\\key.ini"] = list;
    fake.subkeys = names;
    launcher::CLauncherApp app(fake);
    app.installDir.Assign("C:\\pkg\\");
    const bool found = app.FindSupportedDevice();

    Check(launcher::supportedIdCount == static_cast<std::int32_t>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i)
        Check(launcher::IdText(launcher::listText, launcher::supportedIds[i]) == expected[i]);
    Check(launcher::testing::ParseSupportedIds(list.substr(0, list.find('\0')), app.codePage()) ==
          expected);
    Check(found == (chosen >= 0));
    if (found) Check(app.deviceKey.view() == names[static_cast<std::size_t>(chosen)] + "\"");
    Check(fake.keysOpen == fake.keysClosed);

    // Names that hold an entry right behind another name, so that an entry
    // meets a lead byte far more often than chance would have it.
    const std::size_t count = static_cast<std::size_t>(launcher::supportedIdCount);
    for (std::size_t n = 0; n < names.size() && n < 4; ++n) {
        for (std::size_t j = 0; j < expected.size() && j < 4; ++j) {
            const std::string name = names[n] + expected[j];
            Check(launcher::FindMatchingId(name, launcher::listText, launcher::supportedIds, count,
                                           app.codePage()) == model.FirstEntry(name, expected));
        }
    }
    return 0;
}
