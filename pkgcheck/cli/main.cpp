// pkgcheck: what the launcher will read from a package and which device it
// will choose, before the package ships.

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "pkgcheck/check/Check.h"
#include "pkgcheck/cli/Arguments.h"
#include "pkgcheck/machines/ThisMachine.h"
#include "pkgcheck/report/Report.h"

int main(int argc, char** argv) {
    using namespace pkgcheck;
    const Arguments arguments = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.help || arguments.version) {
        const std::string text = arguments.help ? HelpText() : VersionText();
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "pkgcheck: %s\n%s(pkgcheck --help tells more)\n",
                     arguments.error.c_str(), kUsage);
        return 2;
    }
    const Options& options = arguments.options;
    const Report report = RunCheck(options, SettleCodePage(options.codePage), ReadThisMachine);
    if (options.writeList) {
        // The list goes out byte for byte: a text-mode stream on Windows
        // would put a second CR before each LF.
        for (const Finding& warning : report.warnings)
            std::fprintf(stderr, "pkgcheck: %s\n", FindingLine(warning).c_str());
        if (report.writtenList) {
#ifdef _WIN32
            _setmode(_fileno(stdout), _O_BINARY);
#endif
            const std::string& text = report.writtenList->text;
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        }
        for (const Finding& error : report.errors)
            std::fprintf(stderr, "pkgcheck: %s: %s\n", error.file.c_str(), error.message.c_str());
        return ExitStatus(report);
    }
    const Output out = [](std::string_view block) {
        std::fwrite(block.data(), 1, block.size(), stdout);
    };
    if (options.json)
        FormatJson(report, out);
    else
        FormatText(report, out);
    std::fflush(stdout);
    for (const Finding& error : report.errors)
        std::fprintf(stderr, "pkgcheck: %s: %s\n", error.file.c_str(), error.message.c_str());
    return ExitStatus(report);
}
