// Who holds the product's files, as Restart Manager may report them: whom Setup asks to close,
// how they are named to the log and to a person, and what the log says became of them.
#include "upgrade/Holders.h"

#include <gtest/gtest.h>

namespace {

const Holder kLook = {L"Quillo Look", 1234, 1, false};
const Holder kService = {L"Quillo Sync", 88, 0, false};
const Holder kCritical = {L"Windows Logon", 500, 1, true};
const Holder kSetup = {L"Setup", 4321, 1, false};
const Holder kViewer = {L"Quillo 辭典檢視器", 77, 2, false};
const Holder kLong = {L"Quillo Look with a name far longer than any message shows in one line"};
const Holder kLookClosed = {L"", 1234, 1, false, true};
const Holder kLookRestarted = {L"", 1234, 1, false, true, true};
const wchar_t kLookLog[] = L"Quillo Look (process 1234, session 1)";

// Setup is process 4321 in session 1.
struct HoldersCase {
    std::vector<Holder> holders;
    std::wstring closed;            // the names of those to close, separated by "; "
    std::wstring person;            // how a person reads `holders`, separated by "; "
    std::vector<Holder> after = {}; // Restart Manager's list once those to close were closed
    std::wstring report = L"";      // the log's lines for them
};

const HoldersCase kHoldersCases[] = {
    {{}, L"", L""},
    {{kLook},
     kLookLog,
     L"Quillo Look",
     {},
     L"Quillo Look (process 1234, session 1): no longer "
     L"listed by Restart Manager"},
    {{kLook, kService},
     kLookLog,
     L"Quillo Look; Quillo Sync",
     {kLookRestarted, kService},
     L"Quillo Look (process 1234, session 1): closed, and started again"},
    {{kLook, kViewer},
     kLookLog,
     L"Quillo Look; Quillo 辭典檢視器",
     {kLookClosed},
     L"Quillo Look (process 1234, session 1): closed, not started again (Windows starts again "
     L"only programs registered for it)"},
    {{kLook},
     kLookLog,
     L"Quillo Look",
     {kLook},
     L"Quillo Look (process 1234, session 1): not closed"},
    {{kCritical}, L"", L"Windows Logon"},
    {{kSetup, kCritical, kService, kViewer},
     L"",
     L"Setup; Windows Logon; Quillo Sync; Quillo 辭典檢視器"},
    {{kLong}, L"", L"Quillo Look with a name far longer than any message shows in on\u2026"},
    {{kViewer, kViewer, kViewer, kViewer, kViewer, kViewer},
     L"",
     L"Quillo 辭典檢視器; Quillo 辭典檢視器; Quillo 辭典檢視器; Quillo 辭典檢視器; Quillo "
     L"辭典檢視器; and 1 more"},
};

class HoldersTableTest : public testing::TestWithParam<HoldersCase> {};

TEST_P(HoldersTableTest, AsksOnlyItsOwnSessionsProgramsNamesThemAndTellsWhatBecameOfThem) {
    const HoldersCase& c = GetParam();
    const std::vector<Holder> toClose = HoldersToClose(c.holders, 4321, 1);
    EXPECT_EQ(c.closed, HolderNames(toClose, L"; "));
    EXPECT_EQ(c.person, NamesForPerson(c.holders, L"; ", L"and %s more"));
    std::wstring report;
    for (const Holder& holder : toClose)
        report += HolderNames({holder}, L"") + L": " + WhatBecameOf(holder, c.after);
    EXPECT_EQ(c.report, report);
}

INSTANTIATE_TEST_SUITE_P(Holders, HoldersTableTest, testing::ValuesIn(kHoldersCases));

} // namespace
