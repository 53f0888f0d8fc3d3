#include "upgrade_run_support.h"

#include "ProcessHelpers.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace upgraderun {

namespace {

constexpr char kHookLibrary[] = "upgrade_run_hook.dll";
constexpr char kHookLogVariable[] = "QUILLO_UPGRADE_RUN_HOOK_LOG";
// Starting a helper program under Wine can take a few seconds.
constexpr DWORD kHelperStartMs = 30000;
// How long the product may take to log Setup's quit requests, and then to end.
constexpr DWORD kProductQuitMs = 30000;

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%lX", value);
    return text;
}

unsigned long ParseHex(const std::string& text) {
    return std::strtoul(text.c_str(), nullptr, 16);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The product's running programs

std::vector<std::string> QuitRequestLines(const std::string& logFile) {
    std::vector<std::string> lines;
    std::istringstream log(product::ReadFileBytes(logFile));
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find(" 0x0002 ") != std::string::npos ||
            line.find(" 0x0010 ") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ExpectedQuitRequestLines() {
    return {"TindleBar 0x0002 0x00005555 0x0000AAAA", "ZenlexTest 0x0010 0x00000000 0x00000000",
            "TinSync_Server 0x0010 0x00000000 0x00000000"};
}

// ---------------------------------------------------------------------------------------------
// Message hooks

std::vector<HookEvent> ReadHookLog(const std::string& logFile) {
    std::vector<HookEvent> events;
    std::istringstream log(product::ReadFileBytes(logFile));
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        std::string kind, window, className, message, wParam, lParam, result, watched;
        int hasAnimation = 0;
        if (!(fields >> kind >> window >> className >> message >> wParam >> lParam >>
              hasAnimation >> result >> watched))
            continue;
        HookEvent event;
        event.kind = kind;
        event.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(ParseHex(window)));
        event.className = className;
        event.message = static_cast<UINT>(ParseHex(message));
        event.wParam = static_cast<WPARAM>(ParseHex(wParam));
        event.lParam = static_cast<LPARAM>(ParseHex(lParam));
        event.hasAnimation = hasAnimation != 0;
        event.hasResult = result != "-";
        event.result = event.hasResult ? static_cast<LRESULT>(ParseHex(result)) : 0;
        event.watched = watched == "-" ? -1 : watched == "1";
        events.push_back(event);
    }
    return events;
}

std::string Describe(const HookEvent& event) {
    char text[160];
    std::snprintf(text, sizeof text, "%s %p %s message 0x%04X wParam 0x%lX lParam 0x%lX",
                  event.kind.c_str(), static_cast<void*>(event.window), event.className.c_str(),
                  event.message, static_cast<unsigned long>(event.wParam),
                  static_cast<unsigned long>(event.lParam));
    std::string described = text;
    if (event.hasResult)
        described += " result 0x" + Hex(static_cast<unsigned long>(event.result));
    return described;
}

MessageHooks::~MessageHooks() {
    Remove();
}

::testing::AssertionResult MessageHooks::Install(const std::string& path, DWORD threadId) {
    Remove();
    m_library = ::LoadLibraryA(path.c_str());
    if (!m_library)
        return ::testing::AssertionFailure()
               << "cannot load " << path << ": error " << ::GetLastError();
    const std::pair<int, const char*> hooks[] = {{WH_GETMESSAGE, "GetMessageHook"},
                                                 {WH_CALLWNDPROC, "CallWndProcHook"},
                                                 {WH_CALLWNDPROCRET, "CallWndRetProcHook"}};
    for (const auto& [id, name] : hooks) {
        auto procedure =
            reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(m_library, name)));
        HHOOK hook = procedure ? ::SetWindowsHookExA(id, procedure, m_library, threadId) : nullptr;
        if (!hook)
            return ::testing::AssertionFailure()
                   << "cannot install " << name << ": error " << ::GetLastError();
        m_hooks.push_back(hook);
    }
    return ::testing::AssertionSuccess();
}

void MessageHooks::Remove() {
    for (HHOOK hook : m_hooks)
        ::UnhookWindowsHookEx(hook);
    m_hooks.clear();
    if (m_library) {
        ::FreeLibrary(m_library);
        m_library = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// The fixture

bool HasIcon(HWND box) {
    for (const uidriver::ControlInfo& child : uidriver::Children(box)) {
        if (_wcsicmp(child.className.c_str(), L"Static") != 0 ||
            (child.style & SS_TYPEMASK) != SS_ICON || !child.visible)
            continue;
        DWORD_PTR icon = 0;
        if (::SendMessageTimeoutW(child.window, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon) &&
            icon != 0)
            return true;
    }
    return false;
}

void UpgradeRunTest::SetUp() {
    m_root = CurrentTestFolder("upgrade_run");
    product::RemoveProductRegistry();
    ASSERT_TRUE(product::DeleteTree(m_root)) << "cannot clear " << m_root;
    m_productLog = m_root + "\\product.log";
    m_hookLog = m_root + "\\hook.log";
}

void UpgradeRunTest::TearDown() {
    m_hooks.Remove();
    m_setup.Kill();
    m_productProgram.Kill();
    m_holders.clear();
    RemoveRestartManagerDescription();
    product::RemoveProductRegistry();
    // A program may still hold a file for a moment after it ended.
    uidriver::WaitUntil([this] { return product::DeleteTree(m_root); }, 5000, 100);
}

product::ProductOptions UpgradeRunTest::DefaultOptions() const {
    product::ProductOptions options;
    options.root = m_root;
    // The built Setup.exe, or the copy of it that UPGRADE_RUN_SETUP_EXE names beside the test
    // program (a signed one).
    const char* setupExe = std::getenv("UPGRADE_RUN_SETUP_EXE");
    options.setupExeSource = setupExe ? product::SiblingProgram(setupExe) : BuiltSetupExe();
    return options;
}

void UpgradeRunTest::Stage(const product::ProductOptions& options) {
    m_product = product::StageProduct(options);
    ASSERT_FALSE(m_product.installBase.empty()) << "the product was not staged";
    ASSERT_TRUE(product::FileExists(m_product.setupExe)) << "Setup.exe was not staged";
    m_treeBefore = SnapshotTree(m_product.installBase);
    m_listBefore = product::ReadFileBytes(m_product.listFile);
}

std::string LargePayload(int row) {
    return std::string(kLargePayloadSize, static_cast<char>('a' + row)) +
           product::PayloadContent(row);
}

void UpgradeRunTest::UseLargePayload() {
    for (int row = 0; row < 9; ++row) {
        ASSERT_TRUE(product::WriteFileBytes(m_product.payloadFiles[row], LargePayload(row)));
        ASSERT_TRUE(product::SetFileTicks(m_product.payloadFiles[row],
                                          product::PayloadTicks(row, product::DestState::Older)));
    }
}

void UpgradeRunTest::StartProduct(std::vector<std::string> extraArguments) {
    std::vector<std::string> arguments = {m_productLog};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    EXPECT_TRUE(StartHelperProgram(m_productProgram, "QuilloProduct.exe", arguments,
                                   m_root + "\\product.ready", kHelperStartMs));
}

void UpgradeRunTest::HoldOpen(const std::string& path) {
    std::string ready = m_root + "\\hold" + std::to_string(m_holders.size()) + ".ready";
    // Held far longer than any test runs; the test ends the holder.
    m_holders.emplace_back();
    EXPECT_TRUE(StartHelperProgram(m_holders.back(), "HoldFile.exe", {path, "600000"}, ready,
                                   kHelperStartMs));
}

HWND UpgradeRunTest::OpenLicenceDialog() {
    uidriver::StartOptions options;
    options.workingDirectory = uidriver::Widen(m_product.setupFolder);
    options.environment.push_back({uidriver::Widen(kHookLogVariable), uidriver::Widen(m_hookLog)});
    options.environment.insert(options.environment.end(), m_setupEnvironment.begin(),
                               m_setupEnvironment.end());
    m_setup = uidriver::Process::Start(uidriver::Widen(m_product.setupExe), L"upgrade", options);
    if (!m_setup.Started()) {
        ADD_FAILURE() << "cannot start " << m_product.setupExe << ": error "
                      << m_setup.StartError();
        return nullptr;
    }
    return WaitForLicenceDialog(m_setup);
}

void UpgradeRunTest::HookSetup(HWND licence) {
    std::string built = product::SiblingProgram(kHookLibrary);
    std::string copy = m_root + "\\" + kHookLibrary;
    ASSERT_TRUE(::CopyFileA(built.c_str(), copy.c_str(), FALSE)) << "cannot copy " << built;
    ASSERT_TRUE(m_hooks.Install(copy, uidriver::ThreadOf(licence)));
}

void UpgradeRunTest::Accept(HWND licence) {
    ASSERT_TRUE(uidriver::ClickDialogButton(licence, IDOK)) << "the licence dialog has no Yes";
}

HWND UpgradeRunTest::WaitForCopyDialog(DWORD timeoutMs) {
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
    query.predicate = [](HWND window) { return uidriver::Control(window, kAnimationId); };
    return uidriver::WaitForWindow(m_setup, query, timeoutMs);
}

ResultBox UpgradeRunTest::WaitForResult(HWND licence, DWORD timeoutMs) {
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
    query.owner = licence;
    query.predicate = [](HWND window) { return !uidriver::Control(window, kAnimationId); };
    HWND window = uidriver::WaitForWindow(m_setup, query, timeoutMs);
    if (!window)
        ADD_FAILURE() << "no result message appeared; Setup "
                      << (m_setup.IsRunning()
                              ? "shows:\n" + uidriver::DescribeTopLevelWindows(m_setup.Id())
                              : std::string("ended"));
    return window ? ReadBox(window) : ResultBox();
}

ResultBox ReadBox(HWND window) {
    ResultBox box;
    box.window = window;
    // The texts are read through messages that fail at once while Wine counts Setup's thread
    // as hung (it has not looked at its queue for a few seconds, as after a long wait); read
    // again until the box answers.
    uidriver::WaitUntil([&] {
        box.info = uidriver::ReadMessageBox(window);
        return !box.info.caption.empty() || !::IsWindow(window);
    });
    box.hasIcon = HasIcon(window);
    return box;
}

std::wstring SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length && text ? std::wstring(text, length) : std::wstring();
    if (text)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n'))
        result.pop_back();
    return result;
}

FileErrorBox UpgradeRunTest::WaitForFileError(std::vector<HWND> notThese, DWORD timeoutMs) {
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
    query.excluded = std::move(notThese);
    HWND licence = query.excluded.empty() ? nullptr : query.excluded.front();
    query.predicate = [licence](HWND window) {
        return !licence || ::GetWindow(window, GW_OWNER) != licence;
    };
    FileErrorBox box;
    HWND window = uidriver::WaitForWindow(m_setup, query, timeoutMs);
    if (!window) {
        ADD_FAILURE() << "no file error was reported; Setup "
                      << (m_setup.IsRunning()
                              ? "shows:\n" + uidriver::DescribeTopLevelWindows(m_setup.Id())
                              : std::string("ended"));
        return box;
    }
    static_cast<ResultBox&>(box) = ReadBox(window);
    // String 125: text, the path, text, the reason, text.
    const std::wstring format = ExpectedString(kFileErrorString);
    const size_t first = format.find(L"%s");
    const size_t second = format.find(L"%s", first + 2);
    if (first == std::wstring::npos || second == std::wstring::npos)
        return box;
    const std::wstring before = format.substr(0, first);
    const std::wstring middle = format.substr(first + 2, second - first - 2);
    const std::wstring after = format.substr(second + 2);
    const std::wstring& text = box.info.text;
    const size_t split = text.find(middle, before.size());
    box.shaped = text.compare(0, before.size(), before) == 0 && split != std::wstring::npos &&
                 text.size() >= split + middle.size() + after.size() &&
                 text.compare(text.size() - after.size(), after.size(), after) == 0;
    if (box.shaped) {
        box.path = text.substr(before.size(), split - before.size());
        box.reason =
            text.substr(split + middle.size(), text.size() - after.size() - split - middle.size());
    }
    return box;
}

void UpgradeRunTest::ExpectAndAnswerFileError(const FileErrorBox& box, const std::string& path,
                                              DWORD error) {
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.info.caption, L"Setup");
    EXPECT_EQ(box.info.ButtonIds(), std::vector<int>{IDOK});
    EXPECT_TRUE(box.hasIcon) << "the error message shows no icon";
    EXPECT_TRUE(box.shaped) << "the error message reads \"" << uidriver::Narrow(box.info.text)
                            << "\"; expected string " << kFileErrorString;
    EXPECT_EQ(uidriver::Narrow(box.path), uidriver::Narrow(uidriver::Widen(path)));
    EXPECT_EQ(uidriver::Narrow(box.reason), uidriver::Narrow(SystemErrorText(error)));
    ASSERT_TRUE(uidriver::AnswerMessageBox(box.window, IDOK));
}

DWORD ExitCodeAfter(UINT id) {
    switch (id) {
    case kUpgradeDoneString:
        return 0;
    case kWrongVersionString:
        return 1642;
    case kUpgradeRestartString:
        return 3010;
    default:
        return 1603;
    }
}

void UpgradeRunTest::ExpectResult(const ResultBox& result, UINT id) {
    m_lastResult = id;
    ASSERT_NE(result.window, nullptr);
    EXPECT_EQ(result.info.caption, L"Setup");
    std::wstring expected = ExpectedString(id);
    EXPECT_TRUE(result.info.text == expected)
        << "the result shows \"" << uidriver::Narrow(result.info.text) << "\" instead of string "
        << id << " \"" << uidriver::Narrow(expected) << "\"";
    EXPECT_EQ(result.info.ButtonIds(), std::vector<int>{IDOK});
    EXPECT_FALSE(result.hasIcon) << "the result message shows an icon";
}

void UpgradeRunTest::AnswerAndExpectEnd(const ResultBox& result, HWND licence, bool keepsSetup) {
    ASSERT_NE(result.window, nullptr);
    ASSERT_TRUE(uidriver::AnswerMessageBox(result.window, IDOK)) << "the result has no OK";
    EXPECT_TRUE(uidriver::WaitForWindowGone(licence)) << "the licence dialog stayed";
    ASSERT_TRUE(m_setup.WaitForExit()) << "Setup did not end after the result message";
    EXPECT_EQ(m_setup.ExitCode().value_or(STILL_ACTIVE), ExitCodeAfter(m_lastResult));
    if (keepsSetup) {
        EXPECT_TRUE(product::FileExists(m_product.setupExe)) << "Setup.exe was removed";
        return;
    }
    for (const std::string& payload : m_product.payloadFiles)
        EXPECT_FALSE(product::FileExists(payload)) << payload << " was not deleted";
}

std::wstring UpgradeRunTest::ExpectedString(UINT id, LANGID language) {
    return ResourceString(BuiltSetupExe(), id, language);
}

void UpgradeRunTest::ExpectTreeUnchangedWhileTheProductEnds() {
    ASSERT_TRUE(uidriver::WaitUntil([this] { return QuitRequestLines(m_productLog).size() >= 3; },
                                    kProductQuitMs))
        << "the product did not log three quit requests; its log:\n"
        << product::ReadFileBytes(m_productLog);
    int looks = 0;
    bool ended = uidriver::WaitUntil(
        [&]() -> bool {
            TreeSnapshot now = SnapshotTree(m_product.installBase);
            // Only a look taken while the product still ran counts.
            if (!m_productProgram.IsRunning())
                return true;
            ++looks;
            ::testing::AssertionResult same = SameTree(m_treeBefore, now);
            EXPECT_TRUE(same) << "while the product was still ending (look " << looks << ")";
            return !static_cast<bool>(same);
        },
        kProductQuitMs, 50);
    EXPECT_TRUE(ended) << "the product did not end after the quit requests";
    EXPECT_GT(looks, 0) << "the product ended before the install tree could be looked at";
}

std::string UpgradeRunTest::ListRegisteredOnce() const {
    return ListPrefix() + ListHeader("3") + m_listBefore.substr(16 + ListHeader("2").size()) +
           AppendedEntry("3", DefaultOptions().productInfo);
}

::testing::AssertionResult UpgradeRunTest::InstallTreeUnchanged() const {
    return SameTree(m_treeBefore, SnapshotTree(m_product.installBase));
}

} // namespace upgraderun
