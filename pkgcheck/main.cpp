// pkgcheck: what the launcher will read from a package and which device it
// will choose, before the package ships.

#include <cstdio>
#include <string>
#include <vector>

#include "pkgcheck/Check.h"
#include "pkgcheck/Report.h"
#include "pkgcheck/ThisMachine.h"

int main(int argc, char** argv) {
    using namespace pkgcheck;
    const Arguments arguments = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "pkgcheck: %s\n%s", arguments.error.c_str(), kUsage);
        return 2;
    }
    const Options& options = arguments.options;
    std::string codePageName;
    launcher::CodePage cp = DefaultCodePage(&codePageName);
    if (options.codePage != 0) {
        CodePageFor(options.codePage, &cp);
        codePageName = std::to_string(options.codePage);
    }

    const Report report = RunCheck(options, cp, codePageName, ReadThisMachine);
    const std::string out = options.json ? FormatJson(report) : FormatText(report);
    std::fwrite(out.data(), 1, out.size(), stdout);
    for (const Finding& error : report.errors)
        std::fprintf(stderr, "pkgcheck: %s: %s\n", error.file.c_str(), error.message.c_str());
    return ExitStatus(report);
}
