// The progress dialog's clip and the timers of both dialogs, seen through message hooks on
// Setup's thread: the clip is opened once, from the first firing of the dialog's own timer after
// its creation has finished; the work runs once, and only once the window shows its clip, however
// slowly the window was created; timer messages with other identifiers change nothing.
#include "upgrade_run_support.h"

#include <functional>

namespace upgraderun {
namespace {

// What the hooks saw of one run.
class HookedRun {
public:
    HookedRun(std::vector<HookEvent> events, HWND licence, HWND copy, HWND animation)
        : m_events(std::move(events)), m_licence(licence), m_copy(copy), m_animation(animation) {}

    // Index of the first event of `kind` and `message` on `window`, or -1.
    int Find(const char* kind, HWND window, UINT message) const {
        for (size_t i = 0; i < m_events.size(); ++i) {
            const HookEvent& event = m_events[i];
            if (event.kind == kind && event.window == window && event.message == message)
                return static_cast<int>(i);
        }
        return -1;
    }
    // Whether the watched file existed at any event.
    bool EverWatched() const {
        for (const HookEvent& event : m_events)
            if (event.watched == 1)
                return true;
        return false;
    }
    // Indices of the clip-opening messages sent to the animation control.
    std::vector<int> ClipOpenings() const {
        std::vector<int> found;
        for (size_t i = 0; i < m_events.size(); ++i) {
            const HookEvent& event = m_events[i];
            if (event.kind == "call" && event.window == m_animation &&
                (event.message == kAnimateOpenA || event.message == kAnimateOpenW))
                found.push_back(static_cast<int>(i));
        }
        return found;
    }
    // How many timer messages with identifier `id` were taken from the queue for `window`.
    int TimerFirings(HWND window, WPARAM id) const {
        int count = 0;
        for (const HookEvent& event : m_events) {
            if (event.kind == "get" && event.window == window && event.message == WM_TIMER &&
                event.wParam == id)
                ++count;
        }
        return count;
    }
    // The last posted message taken from the queue before event `index`: the one being handled
    // when a message is sent at `index`.
    const HookEvent* PostedBefore(int index) const {
        for (int i = index - 1; i >= 0; --i) {
            if (m_events[i].kind == "get")
                return &m_events[i];
        }
        return nullptr;
    }
    const HookEvent& operator[](int index) const { return m_events[index]; }
    // The whole log, for failure messages.
    std::string Dump() const {
        std::string text;
        for (const HookEvent& event : m_events) {
            if (event.window == m_licence || event.window == m_copy || event.window == m_animation)
                text += "\n  " + Describe(event);
        }
        return text;
    }

    HWND licence() const { return m_licence; }
    HWND copy() const { return m_copy; }

private:
    std::vector<HookEvent> m_events;
    HWND m_licence;
    HWND m_copy;
    HWND m_animation;
};

class ProgressDialogTest : public UpgradeRunTest {
protected:
    // Runs the whole upgrade with the hooks installed; `whileCopying` runs once the progress
    // dialog is up, `beforeYes` before "Yes" is pressed. Returns what the hooks saw.
    HookedRun RunHooked(const std::function<void(HWND licence, HWND copy)>& whileCopying,
                        const std::function<void(HWND licence)>& beforeYes = {}) {
        Stage(DefaultOptions());
        // Setup waits for the product to end with the progress dialog up.
        StartProduct({"--linger", "4000"});
        HWND licence = OpenLicenceDialog();
        if (!licence)
            return HookedRun({}, nullptr, nullptr, nullptr);
        HookSetup(licence);
        if (beforeYes)
            beforeYes(licence);
        Accept(licence);
        HWND copy = WaitForCopyDialog();
        EXPECT_NE(copy, nullptr) << "no progress dialog appeared";
        HWND animation = copy ? uidriver::Control(copy, kAnimationId) : nullptr;
        if (copy && whileCopying)
            whileCopying(licence, copy);
        ResultBox result = WaitForResult(licence);
        ExpectResult(result, kUpgradeDoneString);
        AnswerAndExpectEnd(result, licence);
        return HookedRun(ReadHookLog(m_hookLog), licence, copy, animation);
    }

    // Posts `message` to `window`, then a marker, and waits until the hooks have seen the marker
    // taken from the queue: the message has then been handled.
    void PostAndWait(HWND window, UINT message, WPARAM wParam) {
        static WPARAM marker = 0x4D00;
        ++marker;
        ASSERT_TRUE(::PostMessageW(window, message, wParam, 0)) << "the window is gone";
        ASSERT_TRUE(::PostMessageW(window, WM_NULL, marker, 0)) << "the window is gone";
        bool seen = uidriver::WaitUntil([&] {
            for (const HookEvent& event : ReadHookLog(m_hookLog)) {
                if (event.kind == "get" && event.window == window && event.message == WM_NULL &&
                    event.wParam == marker)
                    return true;
            }
            return false;
        });
        ASSERT_TRUE(seen) << "the posted message was not handled";
    }
};

// How fast the machine creates the progress dialog.
struct MachineCase {
    const char* name;
    DWORD slowMs; // added to the progress dialog's initialisation; more than the work timer
};

void PrintTo(const MachineCase& c, std::ostream* os) {
    *os << c.name;
}

const MachineCase kMachineCases[] = {
    {"AsFastAsItIs", 0},
    {"SlowToCreateTheWindow", 400},
};

class ClipBeforeWorkTest : public ProgressDialogTest,
                           public ::testing::WithParamInterface<MachineCase> {};

TEST_P(ClipBeforeWorkTest, TheWindowShowsItsClipBeforeTheWorkStarts) {
    // The committed journal, there from the moment the upgrade is in place until its end.
    const std::string journal =
        product::ProductPaths(DefaultOptions()).installBase + "\\QuilloSetup.committed";
    m_setupEnvironment.push_back({L"QUILLO_UPGRADE_RUN_HOOK_WATCH", uidriver::Widen(journal)});
    if (GetParam().slowMs > 0)
        m_setupEnvironment.push_back(
            {L"QUILLO_UPGRADE_RUN_HOOK_SLOW_MS", std::to_wstring(GetParam().slowMs)});
    HookedRun run = RunHooked({});
    ASSERT_FALSE(HasFatalFailure());
    int created = run.Find("call", run.copy(), WM_CREATE);
    int initialised = run.Find("ret", run.copy(), WM_INITDIALOG);
    ASSERT_GE(created, 0) << "the progress dialog's creation was not seen:" << run.Dump();
    ASSERT_GT(initialised, created) << run.Dump();

    std::vector<int> openings = run.ClipOpenings();
    ASSERT_EQ(openings.size(), 1u) << "the clip was not opened exactly once:" << run.Dump();
    const HookEvent& opening = run[openings[0]];
    EXPECT_EQ(opening.message, kAnimateOpenA);
    EXPECT_EQ(opening.wParam, 0u);
    EXPECT_EQ(opening.lParam, kClipResource);
    EXPECT_GT(openings[0], initialised) << "the clip was opened during creation:" << run.Dump();
    const HookEvent* handled = run.PostedBefore(openings[0]);
    ASSERT_NE(handled, nullptr) << run.Dump();
    EXPECT_TRUE(handled->window == run.copy() && handled->message == WM_TIMER &&
                handled->wParam == kOpenClipTimer)
        << "the clip was opened while handling " << Describe(*handled) << ":" << run.Dump();
    int answered = run.Find("ret", opening.window, kAnimateOpenA);
    ASSERT_GT(answered, openings[0]);
    EXPECT_NE(run[answered].result, 0) << "the clip could not be opened";
    EXPECT_EQ(run.TimerFirings(run.copy(), kOpenClipTimer), 1) << run.Dump();

    // The upgrade was not yet in place when the window was shown and its clip opened, and was
    // afterwards.
    int shown = run.Find("call", run.copy(), WM_SHOWWINDOW);
    ASSERT_GE(shown, 0) << "the progress dialog was never shown:" << run.Dump();
    EXPECT_TRUE(run[shown].wParam) << run.Dump();
    EXPECT_EQ(run[shown].watched, 0) << "the work ran before the window was shown:" << run.Dump();
    EXPECT_EQ(run[answered].watched, 0) << "the work ran before the clip was opened:" << run.Dump();
    EXPECT_TRUE(run.EverWatched()) << "the committed upgrade was never seen:" << run.Dump();
}

INSTANTIATE_TEST_SUITE_P(Machines, ClipBeforeWorkTest, ::testing::ValuesIn(kMachineCases),
                         [](const ::testing::TestParamInfo<MachineCase>& info) {
                             return std::string(info.param.name);
                         });

// A message posted to one of the dialogs that it must not act on: a timer message with an
// identifier that the dialog does not use for itself, or a second "Yes" while the upgrade runs.
enum class Target { Licence, Copy, LicenceWhileCopying };

struct ForeignMessageCase {
    const char* name;
    Target target;
    UINT message;
    WPARAM wParam;
};

void PrintTo(const ForeignMessageCase& c, std::ostream* os) {
    *os << c.name;
}

const ForeignMessageCase kForeignMessageCases[] = {
    {"LicenceDialog101", Target::Licence, WM_TIMER, kOpenClipTimer},
    {"LicenceDialog555", Target::Licence, WM_TIMER, 555},
    {"ProgressDialog100", Target::Copy, WM_TIMER, 100},
    {"ProgressDialog555", Target::Copy, WM_TIMER, 555},
    {"SecondYesWhileTheUpgradeRuns", Target::LicenceWhileCopying, WM_COMMAND, IDOK},
};

class ForeignMessageTest : public ProgressDialogTest,
                           public ::testing::WithParamInterface<ForeignMessageCase> {};

TEST_P(ForeignMessageTest, ChangesNothing) {
    const ForeignMessageCase& c = GetParam();
    auto beforeYes = [&](HWND licence) {
        if (c.target != Target::Licence)
            return;
        PostAndWait(licence, c.message, c.wParam);
        // Nothing started: no progress dialog, no quit request, no file changed, and the
        // licence dialog still waits for an answer.
        uidriver::WindowQuery copyQuery = uidriver::WindowQuery::Dialog();
        copyQuery.visibleOnly = false;
        copyQuery.predicate = [](HWND window) { return uidriver::Control(window, kAnimationId); };
        EXPECT_EQ(uidriver::FindTopLevelWindow(m_setup.Id(), copyQuery), nullptr);
        EXPECT_TRUE(::IsWindowVisible(licence) && ::IsWindowEnabled(licence));
        EXPECT_TRUE(QuitRequestLines(m_productLog).empty());
        EXPECT_TRUE(InstallTreeUnchanged());
    };
    auto whileCopying = [&](HWND licence, HWND copy) {
        if (c.target == Target::Copy)
            PostAndWait(copy, c.message, c.wParam);
        else if (c.target == Target::LicenceWhileCopying)
            PostAndWait(licence, c.message, c.wParam);
    };
    HookedRun run = RunHooked(whileCopying, beforeYes);
    ASSERT_FALSE(HasFatalFailure());

    HWND target = c.target == Target::Copy ? run.copy() : run.licence();
    if (c.message == WM_TIMER)
        EXPECT_EQ(run.TimerFirings(target, c.wParam), 1) << "the posted message was not seen";
    // The clip was opened once, from the dialog's own timer; the work ran once.
    std::vector<int> openings = run.ClipOpenings();
    ASSERT_EQ(openings.size(), 1u) << run.Dump();
    const HookEvent* handled = run.PostedBefore(openings[0]);
    ASSERT_NE(handled, nullptr);
    EXPECT_TRUE(handled->window == run.copy() && handled->message == WM_TIMER &&
                handled->wParam == kOpenClipTimer)
        << "the clip was opened while handling " << Describe(*handled) << ":" << run.Dump();
    // One list entry added: the work ran once.
    EXPECT_EQ(product::ReadFileBytes(m_product.listFile), ListRegisteredOnce());
}

INSTANTIATE_TEST_SUITE_P(Messages, ForeignMessageTest, ::testing::ValuesIn(kForeignMessageCases),
                         [](const ::testing::TestParamInfo<ForeignMessageCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace upgraderun

namespace upgraderun {
namespace {

// What a person does once "Yes" has started the upgrade: while Setup waits for the product's
// programs to end, or while it works (large payload files make it take a few seconds). Whatever
// they do, the upgrade is never carried out after they were told it would not be: either it
// runs to its end and says so (121), or it changes nothing and does not say 121. Where a dialog
// lets them, they go on to leave: "No", then "Yes" to "Exit Setup". A key pressed while Setup
// is busy never answers a message: the file error that names a held file, and the result, are
// still up two seconds later.
enum class Phase { Waiting, Working, FileHeld };
enum class Input { AltF4OnTheCopyWindow, CloseRequestToTheLicence, Escape, Enter };

struct UserInputCase {
    const char* name;
    Phase phase;
    Input input;
};

void PrintTo(const UserInputCase& c, std::ostream* os) {
    *os << c.name;
}

const UserInputCase kUserInputCases[] = {
    {"AltF4OnTheCopyWindowWhileWaiting", Phase::Waiting, Input::AltF4OnTheCopyWindow},
    {"AltF4OnTheCopyWindowWhileWorking", Phase::Working, Input::AltF4OnTheCopyWindow},
    {"CloseRequestToTheLicenceWhileWaiting", Phase::Waiting, Input::CloseRequestToTheLicence},
    {"CloseRequestToTheLicenceWhileWorking", Phase::Working, Input::CloseRequestToTheLicence},
    {"EscapeWhileWorking", Phase::Working, Input::Escape},
    {"EnterWhileWorking", Phase::Working, Input::Enter},
    {"EnterWhileAFileIsHeld", Phase::FileHeld, Input::Enter},
};

class UserInputTest : public UpgradeRunTest, public ::testing::WithParamInterface<UserInputCase> {};

TEST_P(UserInputTest, TheUpgradeRunsToItsEndOrChangesNothingAndEveryOutcomeIsSeen) {
    const UserInputCase& c = GetParam();
    Stage(DefaultOptions());
    if (c.phase == Phase::Working)
        ASSERT_NO_FATAL_FAILURE(UseLargePayload());
    if (c.phase == Phase::FileHeld)
        HoldOpen(m_product.destinationFiles[0]);
    // The product lingers after the quit requests, so that Setup waits for it.
    StartProduct(c.phase == Phase::Waiting ? std::vector<std::string>{"--linger", "4000"}
                                           : std::vector<std::string>{});
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);
    HWND copy = WaitForCopyDialog();
    ASSERT_NE(copy, nullptr) << "no progress dialog appeared";
    if (c.phase == Phase::Waiting) {
        ASSERT_TRUE(m_productProgram.IsRunning()) << "the product ended before Setup waited";
        ASSERT_FALSE(product::FileExists(m_product.destinationFiles[0] + "~new"));
    } else {
        // Working: the first new file is being written. A file held: every new file is written,
        // and Setup tries, without handling messages, to hold the installed files.
        const std::string& row = m_product.destinationFiles[c.phase == Phase::Working ? 0 : 8];
        ASSERT_TRUE(
            uidriver::WaitUntil([&] { return product::FileExists(row + "~new"); }, 60000, 1))
            << "the work never started";
    }
    switch (c.input) {
    case Input::AltF4OnTheCopyWindow:
        ASSERT_TRUE(uidriver::PostAltF4(copy));
        break;
    case Input::CloseRequestToTheLicence:
        ASSERT_TRUE(::PostMessageW(licence, WM_CLOSE, 0, 0));
        break;
    case Input::Escape:
        ASSERT_TRUE(uidriver::TypeKey(copy, VK_ESCAPE));
        break;
    case Input::Enter:
        ASSERT_TRUE(uidriver::TypeKey(copy, VK_RETURN));
        break;
    }

    // Go on as the person would until Setup ends: leave where a dialog lets them, answer the
    // result.
    bool quit = false, pressedNo = false;
    std::wstring outcome;
    int messages = 0;
    uidriver::WindowQuery boxes = uidriver::WindowQuery::Dialog();
    boxes.excluded = {licence}; // the messages, over the licence or the copy window
    boxes.predicate = [](HWND window) { return !uidriver::Control(window, kAnimationId); };
    const bool ended = uidriver::WaitUntil(
        [&] {
            if (!m_setup.IsRunning())
                return true;
            HWND box = uidriver::FindTopLevelWindow(m_setup.Id(), boxes);
            uidriver::MessageBoxInfo info =
                box ? uidriver::ReadMessageBox(box) : uidriver::MessageBoxInfo();
            if (box && info.caption == L"Exit Setup") {
                quit = uidriver::AnswerMessageBox(box, IDYES) || quit;
                uidriver::WaitForWindowGone(box);
            } else if (box && !info.text.empty()) {
                outcome = info.text;
                ++messages;
                if (c.input == Input::Escape || c.input == Input::Enter) {
                    ::Sleep(2000);
                    EXPECT_TRUE(::IsWindowVisible(box))
                        << "the key pressed while Setup worked answered the result";
                }
                uidriver::AnswerMessageBox(box, IDOK);
                uidriver::WaitForWindowGone(box);
            } else if (!pressedNo && !box && ::IsWindowEnabled(licence) && !::IsWindow(copy)) {
                pressedNo = uidriver::ClickDialogButton(licence, IDCANCEL);
            }
            return false;
        },
        120000);
    ASSERT_TRUE(ended) << "Setup did not end; it shows:\n"
                       << uidriver::DescribeTopLevelWindows(m_setup.Id());

    m_productProgram.Kill();
    m_holders.clear();
    if (c.phase == Phase::FileHeld) {
        EXPECT_EQ(messages, 2) << "the file error and the result, each seen";
        EXPECT_EQ(uidriver::Narrow(outcome),
                  uidriver::Narrow(ExpectedString(kUpgradeIncompleteString)));
        EXPECT_TRUE(InstallTreeUnchanged());
    } else if (quit) {
        EXPECT_NE(outcome, ExpectedString(kUpgradeDoneString)) << "the user quit and it upgraded";
        EXPECT_TRUE(InstallTreeUnchanged()) << "the user quit and it upgraded";
    } else {
        EXPECT_EQ(uidriver::Narrow(outcome), uidriver::Narrow(ExpectedString(kUpgradeDoneString)));
        for (int row = 0; row < 9; ++row)
            EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                      c.phase == Phase::Working ? LargePayload(row) : product::PayloadContent(row))
                << "row " << row + 1 << " was not replaced";
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, UserInputTest, ::testing::ValuesIn(kUserInputCases),
                         [](const ::testing::TestParamInfo<UserInputCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace upgraderun
