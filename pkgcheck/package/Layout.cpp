#include "pkgcheck/package/Layout.h"

#include "pkgcheck/read/FileFinder.h"
#include "pkgcheck/read/Files.h"
#include "platform/PackageFiles.h"

namespace pkgcheck {
namespace {

namespace package = launcher::package;

struct Wanted {
    const char* name;
    std::vector<std::string> parts;
};

class LayoutChecker {
public:
    LayoutChecker(const std::string& packageDir, Layout& layout)
        : packageDir_(packageDir), layout_(layout) {}

    void Check(const Wanted& wanted) {
        const Found found = finder_.Find(packageDir_, "", wanted.parts);
        for (const std::vector<std::string>& matches : found.ambiguous)
            WarnAmbiguous(wanted.name, matches);
        LayoutItem item{wanted.name, found.shown, found.path, found.whyMissing, ""};
        if (item.problem.empty()) {
            // Found once already: the same steps, nothing new to tell.
            const std::vector<std::string> dir(wanted.parts.begin(), wanted.parts.end() - 1);
            item.dir = finder_.Find(packageDir_, "", dir, EntryType::Directory).path;
        }
        if (!item.problem.empty()) {
            layout_.errors.push_back({"missing", item.name, 0, 0, item.problem, Severity::Error});
            item.found.clear();
        }
        layout_.items.push_back(item);
    }

private:
    void WarnAmbiguous(const std::string& name, const std::vector<std::string>& matches) {
        std::string spelled;
        for (const std::string& m : matches) spelled += (spelled.empty() ? "" : ", ") + m;
        layout_.warnings.push_back({"ambiguous-name", name, 0, 0,
                                    "several names differ only in letter case (" + spelled +
                                        "); Windows keeps only one of them"});
    }

    const std::string& packageDir_;
    Layout& layout_;
    FileFinder finder_;
};

}  // namespace

Layout CheckLayout(const std::string& packageDir) {
    Layout layout;
    const EntryType type = TypeOf(packageDir);
    if (type != EntryType::Directory) {
        const char* problem =
            type == EntryType::Missing ? "package directory not found" : "not a directory";
        for (const char* name : {package::kListFile, package::kToolFile, package::kInfPath})
            layout.items.push_back({name, "", "", problem, ""});
        layout.errors.push_back({"missing", packageDir, 0, 0, problem, Severity::Error});
        return layout;
    }
    LayoutChecker checker(packageDir, layout);
    checker.Check({package::kListFile, {package::kListFile}});
    checker.Check({package::kToolFile, {package::kToolFile}});
    checker.Check({package::kInfPath, {package::kInfFolder, package::kInfFile}});
    return layout;
}

Layout FindInstaller64(const std::string& packageDir) {
    const char* const name = package::kTool64Path;
    FileFinder finder;
    const Found found = finder.Find(packageDir, "", {package::kTool64Folder, package::kToolFile});
    Layout layout;
    LayoutItem& item = layout.items.emplace_back();
    item = {name, found.shown, found.path, found.whyMissing, ""};
    if (found.whyMissing.empty()) return layout;
    item.found.clear();
    layout.errors.push_back(
        {"missing", name, 0, 0,
         found.whyMissing +
             "; the INF has models for XP x64 and Server 2003 x64, where install.exe runs under "
             "WOW64 and hands the installation to this 64-bit tool: without it every such "
             "machine gets the box \"This is 64-bit Windows, and the package's 64-bit installer "
             "tool amd64\\install.exe is missing. Nothing was installed.\"",
         Severity::Error, Scope::Amd64});
    return layout;
}

bool ReadLayoutFile(const LayoutItem& item, std::string* bytes, std::vector<Finding>* errors) {
    if (item.found.empty()) return false;
    std::string error;
    if (ReadFileBytes(item.path, bytes, &error)) return true;
    errors->push_back({"unreadable", item.name, 0, 0, "cannot read " + item.path + ": " + error,
                       Severity::Error});
    return false;
}

}  // namespace pkgcheck
