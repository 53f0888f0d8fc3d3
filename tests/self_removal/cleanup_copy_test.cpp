// The clean-up copy started by hand from a staged copy of the program, as
// `Setup.exe <handle> <path of a program>`, aimed at a victim folder of its own. With anything
// but a handle to another process, it deletes nothing and ends at once; with a handle to a
// running process, it waits until that process has ended and only then deletes the program and
// removes its folder (the folder being the path up to its last separator). It shows no window.
#include "self_removal_support.h"

#include "ProcessHelpers.h"
#include "Staging.h"

#include <algorithm>
#include <ostream>

namespace selfremoval {
namespace {

// The rights to a process that Setup gives its copy besides waiting: which process, which program.
constexpr DWORD kQuery = PROCESS_QUERY_LIMITED_INFORMATION;

// The body of a thread that ends at once.
DWORD WINAPI EndAtOnce(LPVOID) {
    return 0;
}

class CleanupCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(product::DeleteTree(TestRoot())) << "cannot clear " << TestRoot();
        m_runnerFolder = TestRoot() + "\\runner";
        m_runner = m_runnerFolder + "\\Setup.exe";
        ASSERT_TRUE(product::MakeFolders(m_runnerFolder));
        ASSERT_TRUE(CopyBuiltSetupExe(m_runner));
        m_victimFolder = TestRoot() + "\\victim folder";
        m_tempFolder = TestRoot() + "\\tmp";
        ASSERT_TRUE(product::MakeFolders(m_tempFolder));
    }

    void TearDown() override {
        m_copy.Kill();
        m_waitedFor.Kill();
        uidriver::WaitUntil([] { return product::DeleteTree(TestRoot()); }, 5000, 100);
    }

    // A victim folder holding a copy of the program named `exeName`, the nine payload files
    // when `withPayload`, and an empty folder `subfolder` when one is given.
    void StageVictim(const std::string& exeName, bool withPayload, const char* subfolder) {
        m_victim = m_victimFolder + "\\" + exeName;
        ASSERT_TRUE(product::MakeFolders(m_victimFolder));
        ASSERT_TRUE(CopyBuiltSetupExe(m_victim));
        if (withPayload) {
            for (int row = 0; row < 9; ++row) {
                ASSERT_TRUE(product::WriteFileBytes(m_victimFolder + product::kSourceNames[row],
                                                    product::PayloadContent(row)));
            }
        }
        if (subfolder) {
            ASSERT_TRUE(product::MakeFolders(m_victimFolder + "\\" + subfolder));
        }
        m_runnerBefore = TreeContents(m_runnerFolder);
        m_victimBefore = TreeContents(m_victimFolder);
    }

    // Starts the staged program as `"runner" <handleArgument> "victim"`, with handle
    // inheritance, from the test root.
    void StartCopy(const std::string& handleArgument) {
        std::string commandLine = product::QuoteArgument(m_runner) + " " +
                                  product::QuoteArgument(handleArgument) + " " +
                                  product::QuoteArgument(m_victim);
        uidriver::StartOptions options;
        options.workingDirectory = uidriver::Widen(TestRoot());
        options.inheritHandles = true;
        m_copy = uidriver::Process::StartWithCommandLine(uidriver::Widen(m_runner),
                                                         uidriver::Widen(commandLine), options);
        ASSERT_TRUE(m_copy.Started())
            << "cannot start " << m_runner << ": error " << m_copy.StartError();
    }

    // Waits up to `timeoutMs` for the copy to end, noting the windows it shows meanwhile.
    bool WaitForCopy(DWORD timeoutMs) {
        return m_copy.WaitForExit(timeoutMs, [&] {
            for (const std::string& window : VisibleWindows(m_copy.Id())) {
                if (std::find(m_windows.begin(), m_windows.end(), window) == m_windows.end())
                    m_windows.push_back(window);
            }
        });
    }

    // The victim program run suspended: a Setup.exe that runs until the test ends it.
    uidriver::Process RunVictim() {
        uidriver::StartOptions options;
        options.suspended = true;
        return uidriver::Process::Start(uidriver::Widen(m_victim), L"", options);
    }

    // Starts a process (HoldFile.exe) that runs until the test ends it.
    void StartProcessToWaitFor() {
        std::string held = TestRoot() + "\\held.txt";
        std::string ready = TestRoot() + "\\ready.txt";
        ASSERT_TRUE(product::WriteFileBytes(held, "held\r\n"));
        ASSERT_TRUE(StartHelperProgram(m_waitedFor, "HoldFile.exe", {held, "-1"}, ready));
    }

    void ExpectEndedWithoutWindows() {
        EXPECT_LT(m_copy.ExitCode().value_or(0), 0xC0000000u)
            << "the copy ended with exception 0x" << std::hex << m_copy.ExitCode().value_or(0);
        EXPECT_TRUE(m_windows.empty()) << "windows the copy showed:\n" << Joined(m_windows);
        EXPECT_TRUE(FolderEntries(m_tempFolder).empty());
    }

    std::string m_runnerFolder, m_runner;
    std::string m_victimFolder, m_victim;
    std::string m_tempFolder;
    std::map<std::string, std::string> m_runnerBefore, m_victimBefore;
    uidriver::Process m_copy;
    uidriver::Process m_waitedFor;
    std::vector<std::string> m_windows;
};

// ---------------------------------------------------------------------------------------------
// Argument 1 is no handle to a process the copy could wait out

// What argument 1 is made of.
enum class Given {
    Text,               // the text itself
    SignalledEvent,     // an inherited event that is set: a wait on it ends at once
    EndedThread,        // an inherited handle to a thread that has ended
    OpenFile,           // an inherited file handle, which a wait takes as set
    UninheritedProcess, // a handle to a running process that the copy does not inherit
    OtherProgram,       // an inherited handle to a running process of another program
    Parent,             // an inherited handle to the test, which waits for the copy
};

struct GarbageCase {
    const char* name;
    Given given;
    const char* text;
};

void PrintTo(const GarbageCase& garbage, std::ostream* out) {
    *out << garbage.name;
}

class GarbageArgumentTest : public CleanupCopyTest,
                            public ::testing::WithParamInterface<GarbageCase> {
protected:
    // Argument 1 for the case; the object it names stays open until the test ends.
    std::string HandleArgument() {
        const GarbageCase& garbage = GetParam();
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        switch (garbage.given) {
        case Given::Text:
            return garbage.text;
        case Given::SignalledEvent:
            m_object.Reset(::CreateEventA(&inheritable, TRUE, TRUE, nullptr));
            break;
        case Given::EndedThread:
            m_object.Reset(::CreateThread(&inheritable, 0, EndAtOnce, nullptr, 0, nullptr));
            if (m_object.Get())
                ::WaitForSingleObject(m_object.Get(), uidriver::kDefaultTimeoutMs);
            break;
        case Given::OpenFile: {
            std::string path = TestRoot() + "\\open file.txt";
            product::WriteFileBytes(path, "open\r\n");
            HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable,
                                        OPEN_EXISTING, 0, nullptr);
            m_object.Reset(file == INVALID_HANDLE_VALUE ? nullptr : file);
            break;
        }
        case Given::UninheritedProcess:
            StartProcessToWaitFor();
            return HandleText(m_waitedFor.Handle());
        case Given::OtherProgram:
            StartProcessToWaitFor();
            m_object.Reset(InheritableDuplicate(m_waitedFor.Handle(), SYNCHRONIZE | kQuery));
            break;
        case Given::Parent:
            m_object.Reset(InheritableDuplicate(::GetCurrentProcess(), SYNCHRONIZE | kQuery));
            break;
        }
        EXPECT_NE(m_object.Get(), nullptr) << "cannot make the object for argument 1";
        return HandleText(m_object.Get());
    }

    // The object is closed before the test root is deleted: an open file would keep it.
    void TearDown() override {
        m_copy.Kill();
        m_object.Reset();
        CleanupCopyTest::TearDown();
    }

    OwnedHandle m_object;
};

TEST_P(GarbageArgumentTest, DeletesNothing) {
    StageVictim("Setup.exe", true, nullptr);
    if (HasFatalFailure())
        return;
    std::string handle = HandleArgument();
    if (HasFatalFailure())
        return;
    StartCopy(handle);
    if (HasFatalFailure())
        return;

    ASSERT_TRUE(WaitForCopy(uidriver::kDefaultTimeoutMs))
        << "the copy did not end with argument 1 \"" << handle << "\"";
    ExpectEndedWithoutWindows();
    EXPECT_EQ(m_copy.ExitCode().value_or(0), 1639u) << "not taken as a command line not understood";
    EXPECT_EQ(TreeContents(m_victimFolder), m_victimBefore) << "the victim folder was touched";
    EXPECT_EQ(TreeContents(m_runnerFolder), m_runnerBefore) << "the copy's folder was touched";
}

// "-1" and "-2" are the pseudo-handles of the copy itself and of its own thread; "12345",
// "0" and the overlong number name nothing.
INSTANTIATE_TEST_SUITE_P(
    Arguments, GarbageArgumentTest,
    ::testing::Values(GarbageCase{"NoSuchHandle", Given::Text, "12345"},
                      GarbageCase{"OwnProcess", Given::Text, "-1"},
                      GarbageCase{"OwnThread", Given::Text, "-2"},
                      GarbageCase{"Zero", Given::Text, "0"},
                      GarbageCase{"Letters", Given::Text, "abc"},
                      GarbageCase{"NumberAndLetters", Given::Text, "12abc"},
                      GarbageCase{"Empty", Given::Text, ""}, GarbageCase{"Blank", Given::Text, " "},
                      GarbageCase{"TooLarge", Given::Text, "99999999999999999999"},
                      GarbageCase{"SignalledEvent", Given::SignalledEvent, nullptr},
                      GarbageCase{"EndedThread", Given::EndedThread, nullptr},
                      GarbageCase{"OpenFile", Given::OpenFile, nullptr},
                      GarbageCase{"UninheritedProcess", Given::UninheritedProcess, nullptr},
                      GarbageCase{"NotItsProgram", Given::OtherProgram, nullptr},
                      GarbageCase{"ItsParentWaiting", Given::Parent, nullptr}),
    [](const ::testing::TestParamInfo<GarbageCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Argument 1 is a handle to a running process

struct WaitCase {
    const char* name;
    const char* exeName;
    bool withPayload;
    const char* subfolder;         // an empty folder inside the victim folder, or nullptr
    std::vector<std::string> left; // what stays in the victim folder; empty: the folder goes
    bool stillHeld = false;        // another process (a second Setup, say) holds the program longer
};

void PrintTo(const WaitCase& wait, std::ostream* out) {
    *out << wait.name;
}

class WaitedProcessTest : public CleanupCopyTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitedProcessTest, ActsOnlyAfterTheProcessHasEnded) {
    const WaitCase& wait = GetParam();
    StageVictim(wait.exeName, wait.withPayload, wait.subfolder);
    if (HasFatalFailure())
        return;
    m_waitedFor = RunVictim();
    ASSERT_TRUE(m_waitedFor.Started());
    // The rights the installer gives the handle it passes: wait, and ask which process it is.
    OwnedHandle inherited(InheritableDuplicate(m_waitedFor.Handle(), SYNCHRONIZE | kQuery));
    ASSERT_NE(inherited.Get(), nullptr);
    StartCopy(HandleText(inherited.Get()));
    if (HasFatalFailure())
        return;

    // While the process runs, the copy keeps waiting and nothing is deleted.
    EXPECT_FALSE(WaitForCopy(2000)) << "the copy ended while the process it waits for still ran";
    EXPECT_EQ(TreeContents(m_victimFolder), m_victimBefore) << "deleted before the process ended";

    uidriver::Process holder = wait.stillHeld ? RunVictim() : uidriver::Process();
    ASSERT_EQ(wait.stillHeld, holder.Started());
    m_waitedFor.Kill();
    // Held longer than a program takes to be let go once its process has ended.
    EXPECT_FALSE(wait.stillHeld && WaitForCopy(8000)) << "the copy gave up on a held program";
    holder.Kill();
    ASSERT_TRUE(WaitForCopy(kRemovalTimeoutMs)) << "the copy did not end after the process";
    ExpectEndedWithoutWindows();
    EXPECT_FALSE(product::FileExists(m_victim)) << m_victim << " was not deleted";
    if (wait.left.empty()) {
        EXPECT_FALSE(product::FolderExists(m_victimFolder))
            << "left in the victim folder:\n"
            << Joined(FolderEntries(m_victimFolder));
    } else {
        EXPECT_EQ(FolderEntries(m_victimFolder), wait.left);
        std::map<std::string, std::string> after = m_victimBefore;
        after.erase("\\" + std::string(wait.exeName));
        EXPECT_EQ(TreeContents(m_victimFolder), after) << "more than the program was deleted";
    }
    EXPECT_EQ(TreeContents(m_runnerFolder), m_runnerBefore) << "the copy's folder was touched";
}

std::vector<std::string> PayloadNames() {
    std::vector<std::string> names;
    for (const char* name : product::kSourceNames)
        names.push_back(name + 1);
    std::sort(names.begin(), names.end());
    return names;
}

// A program of a name longer than "Setup.exe" next to an empty folder named by the first
// letters of that name: a fixed cut of ten characters would remove that folder instead.
INSTANTIATE_TEST_SUITE_P(
    Victims, WaitedProcessTest,
    ::testing::Values(WaitCase{"SetupAlone", "Setup.exe", false, nullptr, {}},
                      WaitCase{"SetupWithPayload", "Setup.exe", true, nullptr, PayloadNames()},
                      WaitCase{"ShortNameAlone", "Go.exe", false, nullptr, {}},
                      WaitCase{"LongNameNextToFolder", "LongerName.exe", false, "Long", {"Long"}},
                      WaitCase{"SetupStillHeld", "Setup.exe", false, nullptr, {}, true}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace selfremoval
