// Shared ground of the whole-upgrade tests: a simulated installed product and a setup folder
// staged per test below C:\QuilloTests\upgrade_run, Setup.exe started from there and driven
// through its licence dialog, the progress dialog and the result message as a person would,
// the product's running programs (QuilloProduct.exe) and a program holding a file open
// (HoldFile.exe), and message hooks on Setup's thread for what cannot be seen from outside.
#pragma once

#include "Staging.h"
#include "UiDriver.h"
#include "helper_programs.h"
#include "restart_manager.h"
#include "setup_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace upgraderun {

// The languages, resources and licence dialog of Setup.exe, the test's folders and the
// helper programs.
using namespace testsupport;

// The clip resource and the progress dialog's timer.
constexpr LPARAM kClipResource = 132;
constexpr WPARAM kOpenClipTimer = 101;
// Messages of the animation control.
constexpr UINT kAnimateOpenA = WM_USER + 100;
constexpr UINT kAnimateOpenW = WM_USER + 103;

// ---------------------------------------------------------------------------------------------
// The product's running programs (QuilloProduct.exe)

// The log lines of the product's quit requests (WM_DESTROY and WM_CLOSE), in their order.
std::vector<std::string> QuitRequestLines(const std::string& logFile);
// The lines the product logs for Setup's three quit requests, in the order Setup sends them.
std::vector<std::string> ExpectedQuitRequestLines();

// ---------------------------------------------------------------------------------------------
// Message hooks on Setup's thread (upgrade_run_hook.dll beside the test)

// One line of the hook log; see message_hook.cpp.
struct HookEvent {
    std::string kind; // "get", "call" or "ret"
    HWND window = nullptr;
    std::string className;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool hasAnimation = false;
    bool hasResult = false; // "ret" lines carry what the window procedure returned
    LRESULT result = 0;
    int watched = -1; // whether the watched file existed then (1 or 0); -1 when none is watched
};
std::vector<HookEvent> ReadHookLog(const std::string& logFile);
std::string Describe(const HookEvent& event);

// The hooks installed on one thread for as long as the object lives.
class MessageHooks {
public:
    MessageHooks() = default;
    MessageHooks(const MessageHooks&) = delete;
    MessageHooks& operator=(const MessageHooks&) = delete;
    ~MessageHooks();
    // Installs the three hooks of the library at `libraryPath` on `threadId`; false (with the
    // reason) when one fails.
    ::testing::AssertionResult Install(const std::string& libraryPath, DWORD threadId);
    void Remove();

private:
    HMODULE m_library = nullptr;
    std::vector<HHOOK> m_hooks;
};

// ---------------------------------------------------------------------------------------------
// The fixture

// Large payload files, which make the work take a few seconds: row `row`'s is this many bytes of
// one letter followed by its usual content.
constexpr size_t kLargePayloadSize = 8 << 20;
std::string LargePayload(int row);

// What the result message box shows.
struct ResultBox {
    HWND window = nullptr;
    uidriver::MessageBoxInfo info;
    bool hasIcon = false;
};

// Reads what message box `window` shows, once it answers (see ReadBox in the support file).
ResultBox ReadBox(HWND window);

// A file error message: string 125 with the file's path and the system's description.
struct FileErrorBox : ResultBox {
    bool shaped = false; // the text is string 125 with its two fields filled in
    std::wstring path, reason;
};

// The system's description of `error` without its line end, as message boxes show it.
std::wstring SystemErrorText(DWORD error);

class UpgradeRunTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Options staging a product below the test root with a copy of the built Setup.exe (or of
    // the file beside the test program that UPGRADE_RUN_SETUP_EXE names).
    product::ProductOptions DefaultOptions() const;
    // Stages the product (registry values, install tree, list file, setup folder) and
    // records the install tree and the list file as they are before Setup runs.
    void Stage(const product::ProductOptions& options);

    // Replaces the staged payload files by large ones (LargePayload), newer than the installed
    // files.
    void UseLargePayload();
    // Starts the product's windows (QuilloProduct.exe) logging to the test's product log.
    void StartProduct(std::vector<std::string> extraArguments = {});
    // Holds `path` open without sharing (HoldFile.exe) until the test ends.
    void HoldOpen(const std::string& path);

    // Starts the staged Setup.exe with one argument, in its own folder, with the hook log
    // named in its environment; waits for the licence dialog and returns it (nullptr, with a
    // failure recorded, when it does not appear).
    HWND OpenLicenceDialog();
    // Installs the message hooks on the thread of the licence dialog, from a copy of the hook
    // library in the test's folder (Setup loads it from there).
    void HookSetup(HWND licence);
    // Accepts the licence with "Yes".
    void Accept(HWND licence);
    // Waits for the progress dialog (a dialog with the animation control); nullptr when none
    // appears within `timeoutMs`.
    HWND WaitForCopyDialog(DWORD timeoutMs = uidriver::kDefaultTimeoutMs);
    // Waits for the result message: a dialog owned by the licence dialog that is not the
    // progress dialog. Records a failure when none appears.
    ResultBox WaitForResult(HWND licence, DWORD timeoutMs = 60000);
    // Waits for a file error message: a dialog of Setup's that is none of `notThese` and not
    // owned by the licence dialog (which owns the result). Records a failure when none appears.
    FileErrorBox WaitForFileError(std::vector<HWND> notThese, DWORD timeoutMs = 60000);
    // Checks a file error message: captioned "Setup", only OK, an icon, naming `path` with the
    // system's description of `error`; then answers it.
    void ExpectAndAnswerFileError(const FileErrorBox& box, const std::string& path, DWORD error);
    // Checks the result message: captioned "Setup", the text of string `id` in the user's
    // language, only an OK button, no icon.
    void ExpectResult(const ResultBox& result, UINT id);
    // Answers the result message with OK and checks that the licence dialog closes and Setup
    // ends with the exit code of the result last checked (ExpectResult); the payload files are
    // then gone from the setup folder, or, when `keepsSetup` (after a failed upgrade, to be run
    // again), Setup.exe is still there.
    void AnswerAndExpectEnd(const ResultBox& result, HWND licence, bool keepsSetup = false);

    // String `id` of the built Setup.exe in `language` (read as data, never run).
    std::wstring ExpectedString(UINT id, LANGID language = ResourceLanguage());

    // Waits until the product has logged Setup's three quit requests, then looks at the install
    // tree again and again for as long as the product is still running (it lingers before it
    // ends): each look must find the tree, list file included, exactly as staged.
    void ExpectTreeUnchangedWhileTheProductEnds();
    // Success when the install tree and the list file are exactly as staged.
    ::testing::AssertionResult InstallTreeUnchanged() const;
    // The list file as staged.
    const std::string& ListBefore() const { return m_listBefore; }
    // The list file as staged, with the upgrade registered once (entry 3).
    std::string ListRegisteredOnce() const;

    // The test's own folder, below C:\QuilloTests\upgrade_run and named after the test.
    std::string m_root;
    product::StagedProduct m_product;
    TreeSnapshot m_treeBefore;
    std::string m_listBefore;
    std::string m_productLog;
    std::string m_hookLog;
    uidriver::Process m_productProgram;
    std::vector<uidriver::Process> m_holders;
    uidriver::Process m_setup;
    // Further variables for Setup's environment.
    std::vector<uidriver::EnvironmentVariable> m_setupEnvironment;
    MessageHooks m_hooks;
    UINT m_lastResult = 0; // the string of the result message last checked
};

// The exit code of the run that ends with result message `id`: 0 after 121, 1642 after 122,
// 1603 after 124.
DWORD ExitCodeAfter(UINT id);

// Whether the message box shows an icon: a visible icon static that holds one.
bool HasIcon(HWND box);

} // namespace upgraderun
