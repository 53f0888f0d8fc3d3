// Who holds the product's files, as Restart Manager may report them: whom Setup asks to close,
// and how they are named to the log and to a person.
#include "upgrade/Holders.h"

#include <gtest/gtest.h>

namespace {

const Holder kLook = {L"Quillo Look", 1234, 1, false};
const Holder kService = {L"Quillo Sync", 88, 0, false};
const Holder kCritical = {L"Windows Logon", 500, 1, true};
const Holder kSetup = {L"Setup", 4321, 1, false};
const Holder kLong = {
    L"Quillo 辭典檢視器, a name far longer than any message box shows on one line", 9, 1};

struct HoldersCase {
    std::vector<Holder> holders;
    std::wstring closed; // the names of those to close, separated by "; "
    std::wstring person; // the names a person reads, separated by "; "
};

// clang-format off
const HoldersCase kHoldersCases[] = {
    {{}, L"", L""},
    {{kLook}, L"Quillo Look (process 1234, session 1)", L"Quillo Look"},
    {{kLook, kService}, L"Quillo Look (process 1234, session 1)", L"Quillo Look; Quillo Sync"},
    {{kCritical}, L"", L"Windows Logon"},
    {{kSetup, kCritical, kService}, L"", L"Setup; Windows Logon; Quillo Sync"},
    {{kLong}, L"Quillo 辭典檢視器, a name far longer than any message box shows on one line (process 9, session 1)", L"Quillo 辭典檢視器, a name far longer than any message box shows on o…"},
    {{kSetup, kSetup, kSetup, kSetup, kSetup, kSetup, kSetup}, L"", L"Setup; Setup; Setup; Setup; Setup; and 2 more"},
};
// clang-format on

class HoldersTableTest : public testing::TestWithParam<HoldersCase> {};

// Setup is process 4321 in session 1: another session's holders are never asked.
TEST_P(HoldersTableTest, ClosesOnlyItsOwnSessionsButTheSystemsAndSetupItself) {
    EXPECT_EQ(GetParam().closed, HolderNames(HoldersToClose(GetParam().holders, 4321, 1), L"; "));
    EXPECT_EQ(GetParam().person, NamesForPerson(GetParam().holders, L"; ", L"and %s more"));
}

INSTANTIATE_TEST_SUITE_P(Holders, HoldersTableTest, testing::ValuesIn(kHoldersCases));

} // namespace
