#include "pkgcheck/package/Layout.h"

#include <algorithm>

#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

struct Wanted {
    const char* name;
    std::vector<std::string> parts;
};

class LayoutChecker {
public:
    LayoutChecker(const std::string& packageDir, Layout& layout)
        : packageDir_(packageDir), layout_(layout) {}

    void Check(const Wanted& wanted) {
        LayoutItem item{wanted.name, "", packageDir_, ""};
        for (std::size_t i = 0; i < wanted.parts.size() && item.problem.empty(); ++i) {
            const bool last = i + 1 == wanted.parts.size();
            Step(wanted.parts[i], last ? EntryType::File : EntryType::Directory, &item);
        }
        if (!item.problem.empty()) {
            layout_.errors.push_back({"missing", item.name, 0, 0, item.problem});
            item.found.clear();
        }
        layout_.items.push_back(item);
    }

private:
    // One path component: the spelling on disk, preferring the exact one
    // where a case-sensitive file system holds several.
    void Step(const std::string& part, EntryType type, LayoutItem* item) {
        std::vector<std::string> names;
        ListDirectory(item->path, &names);
        std::sort(names.begin(), names.end());
        std::vector<std::string> matches;
        for (const std::string& n : names)
            if (EqualsIgnoringCase(n, part) && TypeOf(JoinPath(item->path, n)) == type)
                matches.push_back(n);
        if (matches.empty()) {
            item->problem = std::string(type == EntryType::File ? "no file " : "no directory ") +
                            part + " in " + item->path + ", in any letter case";
            return;
        }
        const auto exact = std::find(matches.begin(), matches.end(), part);
        const std::string chosen = exact != matches.end() ? *exact : matches.front();
        if (matches.size() > 1) WarnAmbiguous(item->name, matches);
        item->found += (item->found.empty() ? "" : "\\") + chosen;
        item->path = JoinPath(item->path, chosen);
    }

    void WarnAmbiguous(const std::string& name, const std::vector<std::string>& matches) {
        std::string spelled;
        for (const std::string& m : matches) spelled += (spelled.empty() ? "" : ", ") + m;
        layout_.warnings.push_back({"ambiguous-name", name, 0, 0,
                                    "several names differ only in letter case (" + spelled +
                                        "); Windows keeps only one of them"});
    }

    const std::string& packageDir_;
    Layout& layout_;
};

}  // namespace

Layout CheckLayout(const std::string& packageDir) {
    Layout layout;
    const EntryType type = TypeOf(packageDir);
    if (type != EntryType::Directory) {
        const char* problem =
            type == EntryType::Missing ? "package directory not found" : "not a directory";
        for (const char* name : {"key.ini", "install.exe", "drv\\stordrv.inf"})
            layout.items.push_back({name, "", "", problem});
        layout.errors.push_back({"missing", packageDir, 0, 0, problem});
        return layout;
    }
    LayoutChecker checker(packageDir, layout);
    checker.Check({"key.ini", {"key.ini"}});
    checker.Check({"install.exe", {"install.exe"}});
    checker.Check({"drv\\stordrv.inf", {"drv", "stordrv.inf"}});
    return layout;
}

}  // namespace pkgcheck
