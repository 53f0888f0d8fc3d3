// The helper programs the build puts beside the test program (QuilloProduct.exe, HoldFile.exe),
// started as the tests need them.
#pragma once

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// Starts `program`, lying beside the test program, with `arguments` (each quoted as needed)
// followed by "--ready-file <readyFile>", and waits until the program has written the ready
// file, as the helper programs do once they are ready; at most `timeoutMs`, less when the
// program ends first. Success when it came up; either way `process` holds what was started, so
// that it is ended when it goes away.
::testing::AssertionResult StartHelperProgram(uidriver::Process& process,
                                              const std::string& program,
                                              const std::vector<std::string>& arguments,
                                              const std::string& readyFile,
                                              DWORD timeoutMs = uidriver::kDefaultTimeoutMs);

} // namespace testsupport
