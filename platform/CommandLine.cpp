// The Windows rules for splitting a command line, as CommandLineToArgvW applies them, so a
// command line means the same on both platforms. No shell is ever involved.
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace zq {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name from position i: up to the closing quote, or the first blank; no
// escapes. Gives the position after it.
std::size_t ProgramName(const std::string& line, std::size_t i, std::string& program) {
    const std::size_t n = line.size();
    if (i < n && line[i] == '"') {
        ++i;
        while (i < n && line[i] != '"') program += line[i++];
        if (i < n) ++i;
    } else {
        while (i < n && !IsBlank(line[i])) program += line[i++];
    }
    return i;
}
}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::size_t i = 0, n = line.size();
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n) return args;

    std::string program;
    i = ProgramName(line, i, program);
    args.push_back(program);

    while (i < n && IsBlank(line[i])) ++i;
    if (i == n) return args;

    std::string current;
    int quotes = 0;        // 1 while inside quotes
    std::size_t backslashes = 0;
    while (i < n) {
        char c = line[i];
        if (IsBlank(c) && quotes == 0) {
            args.push_back(current);
            current.clear();
            backslashes = 0;
            while (i < n && IsBlank(line[i])) ++i;
            if (i == n) return args;
            continue;
        }
        if (c == '\\') {
            current += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c == '"') {
            if (backslashes % 2 == 0) {
                current.resize(current.size() - backslashes / 2);
                ++quotes;
            } else {
                current.resize(current.size() - backslashes / 2 - 1);
                current += '"';
            }
            ++i;
            backslashes = 0;
            while (i < n && line[i] == '"') {
                if (++quotes == 3) {
                    current += '"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2) quotes = 0;
            continue;
        }
        current += c;
        backslashes = 0;
        ++i;
    }
    args.push_back(current);
    return args;
}

std::string CommandTail(const std::string& line) {
    std::size_t i = 0, n = line.size();
    while (i < n && IsBlank(line[i])) ++i;
    std::string program;
    i = ProgramName(line, i, program);
    // One blank separates the name from the arguments; any further blank is theirs, so a
    // switch after two blanks is not a switch at the start.
    if (i < n && IsBlank(line[i])) ++i;
    return line.substr(i);
}

std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        if (k) line += ' ';
        line += QuoteArgument(arguments[k]);
    }
    return line;
}

}  // namespace zq
