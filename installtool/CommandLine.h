#pragma once
// The tool's command line: `<dir>install.exe <inf> "PCI\<id>"`, split into
// arguments by the rules Windows programs use (those of the C runtime and
// CommandLineToArgvW), so that quoted paths with blanks arrive whole.

#include <string_view>

#include "platform/ByteString.h"
#include "platform/Mbcs.h"

namespace installtool {

// Reads the arguments of a command line one after another.
class CommandLineReader {
public:
    CommandLineReader(std::string_view line, const launcher::CodePage& cp) : line_(line), cp_(cp) {}

    // Steps over the program's name, which takes no escapes: up to the next
    // quote when it starts with one, else up to a blank.
    void SkipProgramName();

    enum class Result { Argument, End, NoMemory };
    // The next argument into `text`, or only past it when `text` is null.
    // Between quotes blanks belong to the argument; "" there is one quote;
    // 2n backslashes before a quote are n backslashes and the quote opens or
    // closes, 2n + 1 are n backslashes and a quote; other backslashes stand
    // for themselves. Double-byte characters are taken whole, so a trail
    // byte with the value of a backslash or a quote is neither.
    Result Next(launcher::ByteString* text);

private:
    std::string_view line_;
    const launcher::CodePage& cp_;
    std::size_t at_ = 0;
};

struct ToolArguments {
    explicit ToolArguments(launcher::Platform& platform) : inf(platform), hardwareId(platform) {}
    launcher::ByteString inf;
    launcher::ByteString hardwareId;
};

enum class ArgumentProblem { None, Missing, Extra, RelativeInf, NotPci, NoMemory };

// The setup-information path, which must be full, and the PCI hardware ID.
ArgumentProblem ReadToolArguments(std::string_view line, const launcher::CodePage& cp,
                                  ToolArguments& arguments);

// Appends `argument` between double quotes so that the reader above gives it
// back whole: a quote becomes \", and backslashes before a quote or before
// the closing one are doubled. A trail byte is no backslash.
bool AppendQuotedArgument(launcher::ByteString& line, std::string_view argument,
                          const launcher::CodePage& cp);

}  // namespace installtool
