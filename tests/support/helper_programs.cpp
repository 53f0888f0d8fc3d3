#include "helper_programs.h"

#include "ProcessHelpers.h"

namespace testsupport {

::testing::AssertionResult StartHelperProgram(uidriver::Process& process,
                                              const std::string& program,
                                              const std::vector<std::string>& arguments,
                                              const std::string& readyFile, DWORD timeoutMs) {
    ::DeleteFileA(readyFile.c_str());
    std::string line;
    for (const std::string& argument : arguments)
        line += product::QuoteArgument(argument) + " ";
    line += "--ready-file " + product::QuoteArgument(readyFile);
    process = uidriver::Process::Start(uidriver::Widen(product::SiblingProgram(program)),
                                       uidriver::Widen(line));
    if (!process.Started())
        return ::testing::AssertionFailure()
               << "cannot start " << program << ": error " << process.StartError();
    if (!product::WaitForFile(readyFile, timeoutMs, process.Handle()))
        return ::testing::AssertionFailure() << program << " did not come up (exit code "
                                             << process.ExitCode().value_or(STILL_ACTIVE) << ")";
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
