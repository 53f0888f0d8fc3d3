#include "command_line_split.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Argument 0 from position pos on; leaves pos after it (and after its closing quote).
std::string TakeProgramName(const std::string& line, std::string::size_type& pos) {
    std::string name;
    if (pos < line.size() && line[pos] == '"') {
        ++pos;
        while (pos < line.size() && line[pos] != '"') {
            name += line[pos++];
        }
        if (pos < line.size()) {
            ++pos;
        }
        return name;
    }
    while (pos < line.size() && !IsBlank(line[pos])) {
        name += line[pos++];
    }
    return name;
}

// One argument after the program name from position pos on (pos at its first byte); leaves pos
// at the blank or end that ended it.
std::string TakeArgument(const std::string& line, std::string::size_type& pos) {
    std::string argument;
    bool inQuotes = false;
    for (;;) {
        std::string::size_type backslashes = 0;
        while (pos < line.size() && line[pos] == '\\') {
            ++backslashes;
            ++pos;
        }
        bool copyByte = true;
        if (pos < line.size() && line[pos] == '"') {
            if (backslashes % 2 == 0) {
                if (inQuotes && pos + 1 < line.size() && line[pos + 1] == '"') {
                    ++pos; // "" inside quotes: the second quote is copied
                } else {
                    copyByte = false;
                }
                inQuotes = !inQuotes;
            }
            backslashes /= 2;
        }
        argument.append(backslashes, '\\');
        if (pos >= line.size() || (!inQuotes && IsBlank(line[pos]))) {
            return argument;
        }
        if (copyByte) {
            argument += line[pos];
        }
        ++pos;
    }
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::string::size_type pos = 0;
    arguments.push_back(TakeProgramName(commandLine, pos));
    for (;;) {
        while (pos < commandLine.size() && IsBlank(commandLine[pos])) {
            ++pos;
        }
        if (pos >= commandLine.size()) {
            return arguments;
        }
        arguments.push_back(TakeArgument(commandLine, pos));
    }
}
