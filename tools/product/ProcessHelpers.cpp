// Process helpers shared by the product's programs and the tests that drive them.
#include "ProcessHelpers.h"

#include "Staging.h"

namespace product {

std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    // Backslashes are literal except before a quote, where they must be doubled.
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

std::string SiblingProgram(const std::string& fileName) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    size_t cut = folder.find_last_of("\\/");
    return (cut == std::string::npos ? std::string() : folder.substr(0, cut + 1)) + fileName;
}

HANDLE StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine = QuoteArgument(program);
    for (const std::string& argument : arguments) {
        commandLine += " " + QuoteArgument(argument);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

bool WriteReadyFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp";
    return WriteFileBytes(temporary, text) &&
           MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool WaitForFile(const std::string& path, DWORD milliseconds, HANDLE process) {
    DWORD start = GetTickCount();
    for (;;) {
        if (FileExists(path)) {
            return true;
        }
        bool ended = process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        if (ended || GetTickCount() - start >= milliseconds) {
            return FileExists(path);
        }
        Sleep(20);
    }
}

} // namespace product
