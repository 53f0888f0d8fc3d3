// Whole runs of a staged installer, declined or accepted, with its temporary folder (TMP and
// TEMP) set to a folder of the test's own. Afterwards its one temporary copy, a Del*.tmp file in
// that folder that showed no window, has removed Setup.exe and the setup folder and is gone
// itself. With anything left in the setup folder, Setup.exe goes and the folder stays.
#include "self_removal_support.h"

#include "Staging.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <tuple>

namespace selfremoval {
namespace {

enum class Ending { Declined, Accepted };

// Where the setup folder and the temporary folder lie, and the name of the program.
struct Layout {
    const char* name;
    const char* setupStem; // the setup folder below the test root
    size_t setupLength;    // 0: the stem as it is; else its full path filled up to this length
    const char* tempStem;  // the temporary folder below the test root
    size_t tempLength;
    const char* exeName;
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
        product::RemoveProductRegistry();
        // A program that just ended may still hold a file for a moment.
        uidriver::WaitUntil([] { return product::DeleteTree(TestRoot()); }, 5000, 100);
    }

    // Stages the product (version 4.501) and a setup folder holding the program and the nine
    // payload files (those whose path is not too long), and creates an empty temporary folder.
    void Stage(const Layout& layout) {
        const std::string root = TestRoot();
        std::string setupFolder = PathOfLength(root, layout.setupStem, layout.setupLength);
        product::ProductOptions options;
        options.root = root;
        options.setupExeSource = BuiltSetupExe();
        options.setupExeName = layout.exeName;
        options.setupFolderName = setupFolder.substr(root.size() + 1);
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
        ASSERT_EQ(FolderEntries(m_product.setupFolder), expected) << "staging failed";

        m_tempFolder = PathOfLength(root, layout.tempStem, layout.tempLength);
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
    }

    // Starts the staged program as a person would (one argument, its own folder as current
    // folder), with the temporary folder as TMP and TEMP; returns its licence dialog.
    HWND StartInstaller() {
        uidriver::StartOptions options;
        options.workingDirectory = uidriver::Widen(m_product.setupFolder);
        options.environment = {{L"TMP", uidriver::Widen(m_tempFolder)},
                               {L"TEMP", uidriver::Widen(m_tempFolder)}};
        m_installer =
            uidriver::Process::Start(uidriver::Widen(m_product.setupExe), L"upgrade", options);
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

    // "Yes", then "OK" to the message that the upgrade is complete.
    void Accept(HWND dialog) {
        std::wstring done =
            ResourceString(m_product.setupExe, kUpgradeDoneString, ResourceLanguage());
        ASSERT_FALSE(done.empty());
        ASSERT_TRUE(uidriver::ClickDialogButton(dialog, IDOK));
        // The copy-progress dialog, owned by the licence dialog too, comes first.
        uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
        query.owner = dialog;
        query.predicate = [&](HWND window) {
            return uidriver::ReadMessageBox(window).text == done;
        };
        HWND box = uidriver::WaitForWindow(m_installer, query);
        ASSERT_NE(box, nullptr) << "no result message after \"Yes\"; windows:\n"
                                << uidriver::DescribeTopLevelWindows(m_installer.Id());
        ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDOK));
    }

    void End(HWND dialog, Ending ending) {
        if (ending == Ending::Declined)
            Decline(dialog);
        else
            Accept(dialog);
    }

    // Waits, watching its children, until the installer has ended, then until its copy has
    // ended, Setup.exe is gone, no Del*.tmp file is left and, when `folderGoes`, the setup
    // folder is gone. Bounded; the checks that follow tell what did not happen.
    void WaitForCleanup(bool folderGoes) {
        ASSERT_TRUE(m_installer.WaitForExit(uidriver::kDefaultTimeoutMs, [&] { m_watch->Look(); }))
            << "the installer did not end";
        EXPECT_LT(m_installer.ExitCode().value_or(0), 0xC0000000u)
            << "the installer ended with exception 0x" << std::hex
            << m_installer.ExitCode().value_or(0);
        uidriver::WaitUntil(
            [&] {
                m_watch->Look();
                return m_watch->AllEnded() && !product::FileExists(m_product.setupExe) &&
                       TemporaryCopies(m_tempFolder).empty() &&
                       (!folderGoes || !product::FolderExists(m_product.setupFolder));
            },
            kRemovalTimeoutMs, 50);
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
        if (copy.opened) {
            EXPECT_TRUE(SamePath(FolderOf(copy.imagePath), m_tempFolder))
                << "the copy ran from " << copy.imagePath;
        }
        // The command line can be read only while the copy runs, which the watch mostly
        // catches: when it did, the platform's split must give back both paths whole.
        if (copy.arguments) {
            const std::vector<std::string>& arguments = *copy.arguments;
            ASSERT_EQ(arguments.size(), 3u) << "arguments of the copy:\n" << Joined(arguments);
            EXPECT_TRUE(SamePath(arguments[0], m_tempFolder + "\\" + copy.exeName)) << arguments[0];
            EXPECT_TRUE(IsSignedDecimal(arguments[1])) << arguments[1];
            EXPECT_EQ(arguments[2], m_product.setupExe);
        } else {
            RecordProperty("copy_command_line", "ended before it could be read");
        }
        EXPECT_TRUE(m_watch->AllEnded()) << "the copy still runs";
        EXPECT_TRUE(m_watch->WindowsShown().empty()) << "windows the copy showed:\n"
                                                     << Joined(m_watch->WindowsShown());
        EXPECT_TRUE(TemporaryCopies(m_tempFolder).empty()) << "left in the temporary folder:\n"
                                                           << Joined(TemporaryCopies(m_tempFolder));
    }

    product::StagedProduct m_product;
    std::string m_tempFolder;
    uidriver::Process m_installer;
    std::unique_ptr<ChildWatch> m_watch;
    uidriver::Process m_hold;
};

// ---------------------------------------------------------------------------------------------
// A setup folder holding only the program and the nine payload files

class CompleteRunTest : public SelfRemovalRun,
                        public ::testing::WithParamInterface<std::tuple<Layout, Ending>> {};

TEST_P(CompleteRunTest, SetupAndItsFolderAreRemoved) {
    const Layout& layout = std::get<0>(GetParam());
    const Ending ending = std::get<1>(GetParam());
    Stage(layout);
    if (HasFatalFailure())
        return;
    HWND dialog = StartInstaller();
    ASSERT_NE(dialog, nullptr);
    End(dialog, ending);
    if (HasFatalFailure())
        return;
    WaitForCleanup(true);
    if (HasFatalFailure())
        return;

    EXPECT_FALSE(product::FolderExists(m_product.setupFolder))
        << "left in the setup folder:\n"
        << Joined(FolderEntries(m_product.setupFolder));
    ExpectOneQuietCopy();
    if (ending == Ending::Accepted) {
        // The upgrade itself ran before the clean-up, for every payload file staged.
        for (int row = 0; row < 9; ++row) {
            if (m_product.payloadFiles[row].size() >= MAX_PATH)
                continue;
            EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                      product::PayloadContent(row))
                << m_product.destinationFiles[row];
        }
    }
}

// Blanks in either path would split an unquoted command line. A setup folder of 245 characters
// is the longest that holds every payload file (whose longest name has 14 characters); with a
// temporary folder of 240 characters, and so a copy's path of 252, it makes a command line of
// more than 512 characters.
// A program not named Setup.exe, of a name shorter or longer than "Setup.exe", tells a folder
// cut at the last separator from a fixed cut of ten characters.
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
