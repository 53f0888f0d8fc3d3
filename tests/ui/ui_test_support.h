// Shared ground of the UI tests: a staged setup folder per test, the staged program started
// and its licence dialog found, and the texts the program should show in the user's language,
// read from the staged Setup.exe itself.
#pragma once

#include "UiDriver.h"
#include "setup_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace uitest {

// The languages, resources and licence dialog of Setup.exe, and the test's folders.
using namespace testsupport;

// The nine payload file names, each with a leading backslash, in deletion order.
std::vector<std::string> PayloadNames();

// A setup folder staged for one test.
struct StagedSetup {
    std::string folder;                // no trailing separator
    std::string exe;                   // folder + "\\" + program name
    std::vector<std::string> payload;  // full paths, in deletion order
    std::vector<std::string> contents; // what each payload file holds
    std::string otherFile;             // one more file in the folder, never a payload name
};

// The test's own root below C:\QuilloTests\ui, named after the running test.
std::string TestRoot();

// Writes the nine payload names into `folder` (creating it) with contents distinct from every
// other staged copy: `tag` goes into each file. Returns the full paths in deletion order.
std::vector<std::string> WritePayloadCopies(const std::string& folder, const std::string& tag);
// Whether every file exists with exactly its expected contents.
::testing::AssertionResult FilesHold(const std::vector<std::string>& paths,
                                     const std::vector<std::string>& contents);
// Whether none of the files exists.
::testing::AssertionResult FilesGone(const std::vector<std::string>& paths);

// Registers the stand-in annotation service (annotation-standin.dll beside the tests, copied to
// the system folder) in place of Wine's, which does nothing, and empties its record.
::testing::AssertionResult InstallAnnotationStandIn();
// The annotations the stand-in has recorded since, a line each (annotation_standin.cpp).
std::string RecordedAnnotations();

// The fixture of every test that starts Setup.exe. SetUp removes the product's registry key
// (the tests never run a real upgrade) and deletes the test root; TearDown kills the program
// if it still runs and deletes the test root again.
class SetupUiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stages below the test root a setup folder `folderName` holding a copy of the built
    // Setup.exe named `exeName`, the nine payload files and one other file.
    StagedSetup Stage(const std::string& folderName = "setup",
                      const std::string& exeName = "Setup.exe");
    // Starts the staged program with `arguments` ("" for none), in its own folder.
    void Start(const std::wstring& arguments);
    // Starts the staged program with one argument and waits for the licence dialog; nullptr
    // (with a failure recorded) when it does not appear.
    HWND OpenLicenceDialog();
    // String `id` of the staged Setup.exe in `language`; records a failure when it is missing.
    std::wstring ExpectedString(UINT id, LANGID language = ResourceLanguage());
    // The licence text: strings 102 to 111 joined with nothing in between.
    std::wstring ExpectedLicence(LANGID language = ResourceLanguage());
    // Dialog template `id` of the staged Setup.exe in `language`.
    uidriver::DialogTemplate ExpectedDialog(UINT id, LANGID language);
    // Answers the open message box of the program (owned by `owner`) with `button` and waits
    // until it is gone; records a failure when there is no box or it does not go.
    void Answer(HWND owner, int button);

    StagedSetup m_setup;
    uidriver::Process m_program;
};

} // namespace uitest
