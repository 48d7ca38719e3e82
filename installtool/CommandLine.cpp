#include "installtool/CommandLine.h"

#include "payload/Texts.h"
#include "platform/Paths.h"

namespace installtool {

using payload::Slice;
using payload::StartsWithText;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Hardware IDs are compared without regard to letter case by Windows.
bool IsPciHardwareId(std::string_view id) { return id.size() > 4 && StartsWithText(id, "PCI\\"); }

}  // namespace

void CommandLineReader::SkipProgramName() {
    if (at_ < line_.size() && line_[at_] == '"') {
        ++at_;
        while (at_ < line_.size() && line_[at_] != '"') at_ = cp_.Next(line_, at_);
        if (at_ < line_.size()) ++at_;
        return;
    }
    while (at_ < line_.size() && !IsBlank(line_[at_])) at_ = cp_.Next(line_, at_);
}

CommandLineReader::Result CommandLineReader::Next(launcher::ByteString* text) {
    while (at_ < line_.size() && IsBlank(line_[at_])) ++at_;
    if (at_ >= line_.size()) return Result::End;
    bool kept = !text || text->Assign("");
    auto keep = [&](std::string_view piece) {
        if (text) kept = text->Append(piece) && kept;
    };
    bool quoted = false;
    while (at_ < line_.size() && (quoted || !IsBlank(line_[at_]))) {
        const char c = line_[at_];
        if (c == '\\') {
            std::size_t end = at_;
            while (end < line_.size() && line_[end] == '\\') ++end;
            const std::size_t count = end - at_;
            if (end < line_.size() && line_[end] == '"') {
                for (std::size_t i = 0; i < count / 2; ++i) keep("\\");
                at_ = end;
                if (count % 2 == 1) {
                    keep("\"");
                    ++at_;
                }
            } else {
                keep(Slice(line_, at_, count));
                at_ = end;
            }
        } else if (c == '"') {
            if (quoted && at_ + 1 < line_.size() && line_[at_ + 1] == '"') {
                keep("\"");
                at_ += 2;
            } else {
                quoted = !quoted;
                ++at_;
            }
        } else {
            const std::size_t next = cp_.Next(line_, at_);
            keep(Slice(line_, at_, next - at_));
            at_ = next;
        }
    }
    return kept ? Result::Argument : Result::NoMemory;
}

ArgumentProblem ReadToolArguments(std::string_view line, const launcher::CodePage& cp,
                                  ToolArguments& arguments) {
    using Result = CommandLineReader::Result;
    CommandLineReader reader(line, cp);
    reader.SkipProgramName();
    for (launcher::ByteString* text : {&arguments.inf, &arguments.hardwareId}) {
        const Result got = reader.Next(text);
        if (got == Result::NoMemory) return ArgumentProblem::NoMemory;
        if (got == Result::End) return ArgumentProblem::Missing;
    }
    if (reader.Next(nullptr) != Result::End) return ArgumentProblem::Extra;
    if (!launcher::IsFullPath(arguments.inf.view())) return ArgumentProblem::RelativeInf;
    if (!IsPciHardwareId(arguments.hardwareId.view())) return ArgumentProblem::NotPci;
    return ArgumentProblem::None;
}

bool AppendQuotedArgument(launcher::ByteString& line, std::string_view argument,
                          const launcher::CodePage& cp) {
    bool ok = line.Append('"');
    std::size_t backslashes = 0;
    for (std::size_t at = 0; at < argument.size();) {
        const std::size_t next = cp.Next(argument, at);
        const char c = argument[at];
        if (next - at == 1 && c == '\\') {
            ++backslashes;
        } else {
            // 2n + 1 backslashes give n and a quote.
            if (next - at == 1 && c == '"') {
                for (std::size_t i = 0; i <= backslashes; ++i) ok = line.Append('\\') && ok;
            }
            backslashes = 0;
        }
        ok = line.Append(Slice(argument, at, next - at)) && ok;
        at = next;
    }
    // Before the closing quote, 2n backslashes give n.
    for (std::size_t i = 0; i < backslashes; ++i) ok = line.Append('\\') && ok;
    return line.Append('"') && ok;
}

}  // namespace installtool
