// Whole runs of a staged installer, declined or accepted, with its temporary folder (TMP and
// TEMP) set to a folder of the test's own. Afterwards its one temporary copy, a Del*.tmp file in
// that folder that showed no window, has removed Setup.exe and the setup folder and is gone
// itself. With anything left in the setup folder, Setup.exe goes and the folder stays.
#include "self_removal_support.h"

#include "Staging.h"
#include "upgrade/PathRules.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <tuple>

namespace selfremoval {
namespace {

enum class Ending { Declined, Accepted };

// Where the setup folder, the temporary folder and the install base lie, in what script, and
// the name of the program. Stems are UTF-8: a stem the code page of the run can spell is made
// with the 8-bit functions, as the product itself would be; one it cannot spell is made under a
// placeholder and renamed to its name with the wide functions.
struct Layout {
    const char* name;
    const char* setupStem; // the setup folder below the test root
    size_t setupLength;    // 0: the stem as it is; else its full path filled up to this length
    const char* tempStem;  // the temporary folder below the test root
    size_t tempLength;
    const char* exeName;
    const char* installStem = "Quillo"; // the install base below the test root
    size_t installLength = 0;
    UINT accepted = kUpgradeDoneString; // the result after "Yes"
    bool removesItself = true;          // after any result but 124
    // The names hold a double-byte character whose trail byte is a backslash: the run must be
    // in the code page they are written for (CTest runs them under that locale).
    bool trailBackslash = false;
    // "BasePath" holds the short form of the install base (as an installer of the 8.3 era
    // would write it), not the form the setup folder is reached by.
    bool shortBasePath = false;
};

// Names for the lists of test parameters.
void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}
void PrintTo(Ending ending, std::ostream* out) {
    *out << (ending == Ending::Declined ? "declined" : "accepted");
}

bool IsSignedDecimal(const std::string& text) {
    size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    if (first >= text.size())
        return false;
    for (size_t i = first; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string Describe(const std::vector<SeenChild>& children) {
    std::vector<std::string> lines;
    for (const SeenChild& child : children)
        lines.push_back(child.exeName + " (" + child.imagePath + ")");
    return Joined(lines);
}

// `text` in the code page of this run, or nothing when the code page cannot spell it.
std::optional<std::string> InCodePage(const std::wstring& text) {
    BOOL lossy = FALSE;
    int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
    std::string bytes(static_cast<size_t>(length), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                              static_cast<int>(text.size()), &bytes[0], length, nullptr, &lossy);
    if (lossy)
        return std::nullopt;
    return bytes;
}

// Whether `path` holds a double-byte character of this run's code page whose trail byte is 0x5C.
bool HasTrailBackslash(const std::string& path) {
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
            if (path[i + 1] == '\\')
                return true;
            ++i;
        }
    }
    return false;
}

// `bytes` of this run's code page as wide text.
std::wstring FromCodePage(const std::string& bytes) {
    int length =
        ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                              length);
    return text;
}

// What the watch reads of a process (UTF-8) for a path of this run's code page.
std::string Utf8Of(const std::string& path) {
    return uidriver::Narrow(FromCodePage(path));
}

// A folder of a layout: where it lies while Setup runs (`path`). One the code page cannot spell
// is staged and checked under a placeholder (`staged`) and lies at `path` only while Setup runs.
struct Place {
    std::string staged;
    std::wstring path;
    bool unspellable = false;

    void MoveToPlace() const {
        if (unspellable)
            ASSERT_TRUE(::MoveFileW(FromCodePage(staged).c_str(), path.c_str()));
    }
    void MoveBack() const {
        if (unspellable)
            ::MoveFileW(path.c_str(), FromCodePage(staged).c_str());
    }
};

Place PlaceOf(const std::string& root, const char* stem, size_t length, const char* placeholder) {
    Place place;
    std::wstring wide = uidriver::Widen(stem);
    std::optional<std::string> spelled = InCodePage(wide);
    place.unspellable = !spelled;
    place.staged = PathOfLength(root, spelled ? *spelled : placeholder, length);
    place.path = place.unspellable ? FromCodePage(root) + L"\\" + wide : FromCodePage(place.staged);
    return place;
}

class SelfRemovalRun : public ::testing::Test {
protected:
    void SetUp() override {
        product::RemoveProductRegistry();
        ASSERT_TRUE(product::DeleteTree(TestRoot())) << "cannot clear " << TestRoot();
    }

    void TearDown() override {
        m_installer.Kill();
        m_watch.reset(); // ends a copy that still runs
        m_hold.Kill();
        m_setup.MoveBack();
        m_install.MoveBack();
        m_temp.MoveBack();
        product::RemoveProductRegistry();
        // A program that just ended may still hold a file for a moment.
        uidriver::WaitUntil([] { return product::DeleteTree(TestRoot()); }, 5000, 100);
    }

    // Stages the product (version 4.501) and a setup folder holding the program and the nine
    // payload files (those whose path is not too long), and creates an empty temporary folder.
    void Stage(const Layout& layout) {
        const std::string root = TestRoot();
        m_setup = PlaceOf(root, layout.setupStem, layout.setupLength, "setup");
        m_install = PlaceOf(root, layout.installStem, layout.installLength, "install");
        m_temp = PlaceOf(root, layout.tempStem, layout.tempLength, "temp");
        const std::string& setupFolder = m_setup.staged;
        product::ProductOptions options;
        options.root = root;
        options.setupExeSource = BuiltSetupExe();
        options.setupExeName = layout.exeName;
        options.setupFolderName = setupFolder.substr(root.size() + 1);
        options.installFolderName = m_install.staged.substr(root.size() + 1);
        // A payload file is staged only where its full path fits in MAX_PATH - 1 characters.
        std::vector<std::string> expected = {layout.exeName};
        for (int row = 0; row < 9; ++row) {
            const char* name = product::kSourceNames[row];
            options.payloadPresent[row] = setupFolder.size() + std::strlen(name) < MAX_PATH;
            if (options.payloadPresent[row])
                expected.push_back(name + 1);
        }
        std::sort(expected.begin(), expected.end());
        m_product = product::StageProduct(options);
        ASSERT_EQ(m_product.setupFolder, setupFolder);
        ASSERT_LT(m_product.setupExe.size(), static_cast<size_t>(MAX_PATH));
        std::vector<std::string> entries = FolderEntries(m_product.setupFolder);
        // A setup folder in the install tree holds the product's files too.
        if (SetupInInstallTree()) {
            ASSERT_TRUE(
                std::includes(entries.begin(), entries.end(), expected.begin(), expected.end()))
                << "staging failed";
        } else {
            ASSERT_EQ(entries, expected) << "staging failed";
        }
        if (m_install.unspellable)
            ASSERT_TRUE(SetBasePath(m_install.path));
        if (layout.shortBasePath) {
            std::wstring shortBase(MAX_PATH, L'\0');
            shortBase.resize(::GetShortPathNameW(m_install.path.c_str(), &shortBase[0], MAX_PATH));
            ASSERT_NE(shortBase, m_install.path) << "no short form to write";
            ASSERT_TRUE(SetBasePath(shortBase));
        }

        m_tempFolder = m_temp.staged;
        ASSERT_TRUE(product::MakeFolders(m_tempFolder));
        ASSERT_TRUE(FolderEntries(m_tempFolder).empty());
        // A program search along an unquoted path with blanks would take the part before the
        // first blank, with ".exe", for the program: a file of that name, which is no program,
        // makes such a start fail. (Wine quotes a found program name itself, so without the
        // file an unquoted path of the copy would go unnoticed here.)
        size_t blank = m_tempFolder.find(' ');
        if (blank != std::string::npos) {
            ASSERT_TRUE(product::WriteFileBytes(m_tempFolder.substr(0, blank) + ".exe",
                                                "not a program\r\n"));
        }
        m_installBefore = SnapshotTree(m_product.installBase);
        m_outsideBefore = OutsideTheRun();
        ASSERT_NO_FATAL_FAILURE(m_setup.MoveToPlace());
        ASSERT_NO_FATAL_FAILURE(m_install.MoveToPlace());
        ASSERT_NO_FATAL_FAILURE(m_temp.MoveToPlace());
    }

    bool SetupInInstallTree() const {
        const std::string& base = m_product.installBase;
        const std::string& setup = m_product.setupFolder;
        return setup.compare(0, base.size(), base) == 0 &&
               (setup.size() == base.size() || setup[base.size()] == '\\');
    }

    // "BasePath" written as wide text, which the English code page cannot always spell.
    static bool SetBasePath(const std::wstring& base) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Morvane\\Quillo\\System\\InstallInfo",
                            0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
            return false;
        LONG result = ::RegSetValueExW(key, L"BasePath", 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(base.c_str()),
                                       static_cast<DWORD>((base.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    // Everything below the test root but the install tree, the setup folder and the temporary
    // folder: what a run must never touch.
    TreeSnapshot OutsideTheRun() const {
        TreeSnapshot outside;
        const std::string root = TestRoot();
        for (const auto& [path, record] : SnapshotTree(root)) {
            std::string full = root + path;
            bool inside = false;
            for (const std::string& folder :
                 {m_product.installBase, m_product.setupFolder, m_tempFolder})
                inside |= full.compare(0, folder.size(), folder) == 0 &&
                          (full.size() == folder.size() || full[folder.size()] == '\\');
            if (!inside)
                outside[path] = record;
        }
        return outside;
    }

    // Starts the staged program as a person would (one argument, its own folder as current
    // folder), with the temporary folder as TMP and TEMP; returns its licence dialog.
    HWND StartInstaller() {
        uidriver::StartOptions options;
        options.workingDirectory = m_setup.path;
        options.environment = {{L"TMP", m_temp.path}, {L"TEMP", m_temp.path}};
        std::wstring exe =
            m_setup.path + L"\\" +
            FromCodePage(m_product.setupExe.substr(m_product.setupFolder.size() + 1));
        m_installer = uidriver::Process::Start(exe, L"upgrade", options);
        if (!m_installer.Started()) {
            ADD_FAILURE() << "cannot start " << m_product.setupExe << ": error "
                          << m_installer.StartError();
            return nullptr;
        }
        m_watch = std::make_unique<ChildWatch>(m_installer.Id());
        return WaitForLicenceDialog(m_installer);
    }

    // "No", then "Yes" to the question whether to leave.
    void Decline(HWND dialog) {
        ASSERT_TRUE(uidriver::ClickDialogButton(dialog, IDCANCEL));
        HWND box = uidriver::WaitForMessageBox(m_installer, dialog);
        ASSERT_NE(box, nullptr) << "no question after \"No\"";
        ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDYES));
    }

    // "Yes", then "OK" to the result message, which must be string `result`. A failed upgrade
    // first names the file in its way (a message the progress dialog owns): answered with OK.
    void Accept(HWND dialog, UINT result) {
        std::wstring expected = ResourceString(BuiltSetupExe(), result, ResourceLanguage());
        ASSERT_FALSE(expected.empty());
        ASSERT_TRUE(uidriver::ClickDialogButton(dialog, IDOK));
        uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
        query.excluded = {dialog};
        query.predicate = [](HWND window) { return !uidriver::Control(window, kAnimationId); };
        HWND box = nullptr;
        for (int message = 0; message < 2; ++message) {
            box = uidriver::WaitForWindow(m_installer, query, 60000);
            if (!box || ::GetWindow(box, GW_OWNER) == dialog)
                break;
            EXPECT_EQ(result, kUpgradeIncompleteString) << "a file error after \"Yes\"";
            ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDOK));
            ASSERT_TRUE(uidriver::WaitForWindowGone(box));
            box = nullptr;
        }
        ASSERT_NE(box, nullptr) << "no result message after \"Yes\"; windows:\n"
                                << uidriver::DescribeTopLevelWindows(m_installer.Id());
        uidriver::MessageBoxInfo info;
        uidriver::WaitUntil([&] {
            info = uidriver::ReadMessageBox(box);
            return !info.text.empty() || !::IsWindow(box);
        });
        EXPECT_TRUE(info.text == expected)
            << "the result reads \"" << uidriver::Narrow(info.text) << "\" instead of \""
            << uidriver::Narrow(expected) << "\"";
        ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDOK));
    }

    // Waits, watching its children, until the installer has ended, then until its copy has
    // ended, Setup.exe is gone, no Del*.tmp file is left and, when `folderGoes`, the setup
    // folder is gone. Bounded; the checks that follow tell what did not happen. Afterwards the
    // folders the code page cannot spell are back under their placeholders.
    void WaitForCleanup(bool folderGoes) {
        ASSERT_TRUE(m_installer.WaitForExit(uidriver::kDefaultTimeoutMs, [&] { m_watch->Look(); }))
            << "the installer did not end";
        EXPECT_LT(m_installer.ExitCode().value_or(0), 0xC0000000u)
            << "the installer ended with exception 0x" << std::hex
            << m_installer.ExitCode().value_or(0);
        // An installer that started no copy leaves everything as it is now.
        m_watch->Look();
        if (m_watch->Children().empty()) {
            m_setup.MoveBack();
            m_install.MoveBack();
            m_temp.MoveBack();
            return;
        }
        uidriver::WaitUntil(
            [&] {
                m_watch->Look();
                bool setupGone =
                    ::GetFileAttributesW(m_setup.path.c_str()) == INVALID_FILE_ATTRIBUTES ||
                    (!folderGoes && !product::FileExists(m_product.setupExe));
                return m_watch->AllEnded() && setupGone && TemporaryCopies(m_tempFolder).empty();
            },
            kRemovalTimeoutMs, 50);
        m_setup.MoveBack();
        m_install.MoveBack();
        m_temp.MoveBack();
    }

    // The installer started one process: its copy, a Del*.tmp file in the temporary folder,
    // started with the copy's path, a handle value and the path of the program, that showed no
    // window and has ended, leaving no Del*.tmp file behind.
    void ExpectOneQuietCopy() {
        const std::vector<SeenChild>& children = m_watch->Children();
        ASSERT_EQ(children.size(), 1u) << "processes the installer started:\n"
                                       << Describe(children);
        const SeenChild& copy = children[0];
        EXPECT_TRUE(IsTemporaryCopyName(copy.exeName)) << "the copy's name: " << copy.exeName;
        EXPECT_TRUE(m_watch->AllEnded()) << "the copy still runs";
        if (copy.opened) {
            EXPECT_EQ(m_watch->ExitCode(0).value_or(STILL_ACTIVE), 0u) << "the copy's exit code";
        }
        EXPECT_TRUE(m_watch->WindowsShown().empty()) << "windows the copy showed:\n"
                                                     << Joined(m_watch->WindowsShown());
        EXPECT_TRUE(TemporaryCopies(m_tempFolder).empty()) << "left in the temporary folder:\n"
                                                           << Joined(TemporaryCopies(m_tempFolder));
        // The command line can be read only while the copy runs, which the watch mostly
        // catches: when it did, the platform's split must give back both paths whole. A folder
        // the code page cannot spell is named otherwise there (in its short form).
        if (copy.opened && !m_temp.unspellable) {
            EXPECT_TRUE(SamePath(FolderOf(copy.imagePath), Utf8Of(m_tempFolder)))
                << "the copy ran from " << copy.imagePath;
        }
        if (!copy.arguments || m_setup.unspellable)
            return;
        const std::vector<std::string>& arguments = *copy.arguments;
        ASSERT_EQ(arguments.size(), 3u) << "arguments of the copy:\n" << Joined(arguments);
        if (m_tempFolder.size() < kLongestTemporaryFolder && !m_temp.unspellable)
            EXPECT_TRUE(SamePath(arguments[0], Utf8Of(m_tempFolder) + "\\" + copy.exeName))
                << arguments[0];
        EXPECT_TRUE(IsSignedDecimal(arguments[1])) << arguments[1];
        EXPECT_EQ(arguments[2], Utf8Of(m_product.setupExe));
    }

    product::StagedProduct m_product;
    Place m_setup, m_install, m_temp;
    std::string m_tempFolder;
    TreeSnapshot m_installBefore;
    TreeSnapshot m_outsideBefore;
    uidriver::Process m_installer;
    std::unique_ptr<ChildWatch> m_watch;
    uidriver::Process m_hold;
};

// ---------------------------------------------------------------------------------------------
// A setup folder holding only the program and the nine payload files

class CompleteRunTest : public SelfRemovalRun,
                        public ::testing::WithParamInterface<std::tuple<Layout, Ending>> {};

TEST_P(CompleteRunTest, ShowsTheOutcomeAndRemovesSetupUnlessTheUpgradeFailed) {
    const Layout& layout = std::get<0>(GetParam());
    const Ending ending = std::get<1>(GetParam());
    Stage(layout);
    if (HasFatalFailure())
        return;
    if (layout.trailBackslash) {
        for (const std::string& path : {m_product.setupFolder, m_product.installBase, m_tempFolder})
            ASSERT_TRUE(HasTrailBackslash(path)) << path << " has no trail byte 0x5C in this run";
    }
    HWND dialog = StartInstaller();
    ASSERT_NE(dialog, nullptr);
    if (ending == Ending::Declined)
        Decline(dialog);
    else
        Accept(dialog, layout.accepted);
    if (HasFatalFailure())
        return;
    // After a failed upgrade Setup stays, with its payload, to be run again.
    const bool failed = ending == Ending::Accepted && layout.accepted == kUpgradeIncompleteString;
    WaitForCleanup(!failed && layout.removesItself);
    if (HasFatalFailure())
        return;
    // The exit code Windows Installer gives the outcome.
    const DWORD exitCode = ending == Ending::Declined               ? 1602
                           : layout.accepted == kUpgradeDoneString  ? 0
                           : layout.accepted == kWrongVersionString ? 1642
                                                                    : 1603;
    EXPECT_EQ(m_installer.ExitCode().value_or(STILL_ACTIVE), exitCode);
    if (failed || !layout.removesItself) {
        EXPECT_TRUE(m_watch->Children().empty()) << "Setup started a clean-up copy:\n"
                                                 << Describe(m_watch->Children());
        EXPECT_TRUE(product::FileExists(m_product.setupExe)) << "Setup.exe was removed";
    } else {
        EXPECT_FALSE(product::FolderExists(m_product.setupFolder))
            << "left in the setup folder:\n"
            << Joined(FolderEntries(m_product.setupFolder));
        ExpectOneQuietCopy();
    }
    // The upgrade happened exactly when Setup said so, and otherwise the install tree is as it
    // was. Either way its files are the product's own, and nothing outside the run's folders
    // changed.
    TreeSnapshot installAfter = SnapshotTree(m_product.installBase);
    if (ending == Ending::Accepted && layout.accepted == kUpgradeDoneString) {
        for (int row = 0; row < 9; ++row)
            EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                      product::PayloadContent(row))
                << m_product.destinationFiles[row];
        for (const auto& [path, record] : installAfter)
            EXPECT_EQ(m_installBefore.count(path), 1u) << "a file not the product's: " << path;
    } else {
        EXPECT_TRUE(SameTree(m_installBefore, installAfter));
    }
    EXPECT_TRUE(SameTree(m_outsideBefore, OutsideTheRun()));
    // Only Setup's log stays there, for support to ask for.
    std::vector<std::string> tempLeft = FolderEntries(m_tempFolder);
    tempLeft.erase(std::remove_if(tempLeft.begin(), tempLeft.end(),
                                  [](const std::string& name) {
                                      return name.rfind("QuilloSetup", 0) == 0 && name.size() > 4 &&
                                             name.compare(name.size() - 4, 4, ".log") == 0;
                                  }),
                   tempLeft.end());
    EXPECT_TRUE(tempLeft.empty()) << "left in the temporary folder:\n" << Joined(tempLeft);
}

// Blanks in either path would split an unquoted command line. A setup folder of 245 characters
// is the longest that holds every payload file (whose longest name has 14 characters); with a
// temporary folder of 240 characters, and so a copy's path of 252, it makes a command line of
// more than 512 characters; one of 246 lacks a payload file, which fails the upgrade.
// A program not named Setup.exe, of a name shorter or longer than "Setup.exe", tells a folder
// cut at the last separator from a fixed cut of ten characters.
// An install base of 223 characters is the longest whose deepest file (32 characters more) has
// room for the 4 more characters of its staged copy's name; one of 240 has files that the 8-bit
// file functions cannot name at all.
// A temporary folder of 245 characters (246 with its final separator) is the longest that
// GetTempFileName takes; past it Setup takes the folder's short form.
// In Big5 and GBK, 許, 功, 蓋 and 乗, 俓, 僜 end with the byte of a backslash; the Chinese names
// are ones the English code page cannot spell.
const Layout kLayouts[] = {
    {"Plain", "setup", 0, "tmp", 0, "Setup.exe"},
    {"BlankInSetupFolder", "setup folder", 0, "tmp", 0, "Setup.exe"},
    {"BlankInTempFolder", "setup", 0, "tmp dir", 0, "Setup.exe"},
    {"BlanksInBoth", "self removal\\setup folder", 0, "temp files\\tmp dir", 0, "Setup.exe"},
    {"LongSetupFolder", "long setup folder ", 245, "long temp folder ", 200, "Setup.exe"},
    {"LongerThan512", "long setup folder ", 245, "long temp folder ", 240, "Setup.exe"},
    {"LongerThan512WithoutBlanks", "long_setup_folder_", 245, "long_temp_folder_", 240,
     "Setup.exe"},
    {"ShortProgramName", "ab", 0, "tmp", 0, "Go.exe"},
    {"LongProgramName", "setup", 0, "tmp", 0, "InstallQuillo.exe"},
    {"SetupFolderPastItsPayload", "long setup folder ", 246, "tmp", 0, "Setup.exe", "Quillo", 0,
     kUpgradeIncompleteString},
    {"InstallBaseAtItsLimit", "setup", 0, "tmp", 0, "Setup.exe", "long install base ", 223},
    {"InstallBasePastItsLimit", "setup", 0, "tmp", 0, "Setup.exe", "long install base ", 224,
     kUpgradeIncompleteString},
    {"InstallBaseFilesPastAPath", "setup", 0, "tmp", 0, "Setup.exe", "long install base ", 240,
     kUpgradeIncompleteString},
    // The product is there, but the names below its folder are too long for the file functions:
    // the upgrade fails (it is no other product).
    {"InstallBaseNamesPastAPath", "setup", 0, "tmp", 0, "Setup.exe", "long install base ", 250,
     kUpgradeIncompleteString},
    {"TempFolderAtItsLimit", "setup", 0, "long temp folder ", 245, "Setup.exe"},
    {"TempFolderPastItsLimit", "setup", 0, "long temp folder ", 246, "Setup.exe"},
    // The copy's path (the folder, a separator and 12 characters) is longer than a program's path
    // may be. Windows would start it by its short form; Wine starts no such program, so Setup
    // stays, and nothing of the copy is left.
    {"TempFolderNearAPath", "setup", 0, "long temp folder ", 250, "Setup.exe", "Quillo", 0,
     kUpgradeDoneString, false},
    {"TempFolderUnspellable", "setup", 0, "临时文件 tmp", 0, "Setup.exe"},
    {"SetupFolderUnspellable", "安装 setup", 0, "tmp", 0, "Setup.exe"},
    {"InstallBaseUnspellable", "setup", 0, "tmp", 0, "Setup.exe", "词典 Quillo", 0,
     kUpgradeIncompleteString},
    {"Big5TrailBackslashes", "許功 setup", 0, "蓋 tmp", 0, "Setup.exe", "許功蓋 Quillo", 0,
     kUpgradeDoneString, true, true},
    {"GbkTrailBackslashes", "乗俓 setup", 0, "僜 tmp", 0, "Setup.exe", "乗俓僜 Quillo", 0,
     kUpgradeDoneString, true, true},
    // Unpacked into the product's own folders: the payload files there are installed files (those
    // whose source is their destination are not newer than themselves), and Setup deletes nothing
    // in the install tree, itself included.
    {"SetupFolderIsTheInstallBase", "Quillo", 0, "tmp", 0, "Setup.exe", "Quillo", 0,
     kUpgradeDoneString, false},
    {"SetupFolderInTheInstallTree", "Quillo Dictionary\\tindict", 0, "tmp", 0, "Setup.exe",
     "Quillo Dictionary", 0, kUpgradeDoneString, false, false, true},
};

INSTANTIATE_TEST_SUITE_P(Layouts, CompleteRunTest,
                         ::testing::Combine(::testing::ValuesIn(kLayouts),
                                            ::testing::Values(Ending::Declined, Ending::Accepted)),
                         [](const ::testing::TestParamInfo<std::tuple<Layout, Ending>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == Ending::Declined ? "_Declined"
                                                                                 : "_Accepted");
                         });

// A setup folder of 249 characters: the path of Setup.exe has 259, the most a path can have.
// Only the shortest payload name still fits, so the upgrade would be incomplete: declined only.
const Layout kLongestLayout = {
    "LongestSetupPath", "longest setup folder ", 249, "long temp folder ", 240, "Setup.exe"};

INSTANTIATE_TEST_SUITE_P(LongestPath, CompleteRunTest,
                         ::testing::Combine(::testing::Values(kLongestLayout),
                                            ::testing::Values(Ending::Declined)),
                         [](const ::testing::TestParamInfo<std::tuple<Layout, Ending>>& info) {
                             return std::string(std::get<0>(info.param).name) + "_Declined";
                         });

// ---------------------------------------------------------------------------------------------
// Something left in the setup folder

struct LeftoverCase {
    const char* name;
    const char* otherFile; // one more file in the setup folder, or nullptr
    int heldRow;           // 0-based payload row held open during the run, or -1
};

void PrintTo(const LeftoverCase& leftover, std::ostream* out) {
    *out << leftover.name;
}

class LeftoverTest : public SelfRemovalRun, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(LeftoverTest, SetupIsDeletedAndTheFolderStays) {
    const LeftoverCase& leftover = GetParam();
    Stage({"blanks", "setup folder", 0, "tmp dir", 0, "Setup.exe"});
    if (HasFatalFailure())
        return;
    std::string left; // the one name that should stay in the setup folder
    std::string leftContents;
    if (leftover.otherFile) {
        left = leftover.otherFile;
        leftContents = "a file of the user's\r\n";
        ASSERT_TRUE(product::WriteFileBytes(m_product.setupFolder + "\\" + left, leftContents));
    } else {
        left = product::kSourceNames[leftover.heldRow] + 1;
        leftContents = product::PayloadContent(leftover.heldRow);
        std::string ready = TestRoot() + "\\hold ready.txt";
        ASSERT_TRUE(StartHelperProgram(m_hold, "HoldFile.exe",
                                       {m_product.payloadFiles[leftover.heldRow], "-1"}, ready))
            << "HoldFile.exe did not open " << m_product.payloadFiles[leftover.heldRow];
    }

    HWND dialog = StartInstaller();
    ASSERT_NE(dialog, nullptr);
    Decline(dialog);
    if (HasFatalFailure())
        return;
    WaitForCleanup(false);
    if (HasFatalFailure())
        return;

    EXPECT_FALSE(product::FileExists(m_product.setupExe)) << "Setup.exe was not deleted";
    EXPECT_EQ(FolderEntries(m_product.setupFolder), std::vector<std::string>{left});
    ExpectOneQuietCopy();
    // A held file can be read only once its holder has let go.
    m_hold.Kill();
    EXPECT_EQ(product::ReadFileBytes(m_product.setupFolder + "\\" + left), leftContents);
}

INSTANTIATE_TEST_SUITE_P(Leftovers, LeftoverTest,
                         ::testing::Values(LeftoverCase{"OneMoreFile", "notes.txt", -1},
                                           LeftoverCase{"FirstPayloadFileHeld", nullptr, 0},
                                           LeftoverCase{"LastPayloadFileHeld", nullptr, 8}),
                         [](const ::testing::TestParamInfo<LeftoverCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace selfremoval
