// Who holds the product's files, as Restart Manager may report them: whom Setup asks to close,
// and how they are named.
#include "upgrade/Holders.h"

#include <gtest/gtest.h>

namespace {

const Holder kLook = {L"Quillo Look", 1234, 1, false};
const Holder kService = {L"Quillo Sync", 88, 0, false};
const Holder kCritical = {L"Windows Logon", 500, 1, true};
const Holder kSetup = {L"Setup", 4321, 1, false};

struct HoldersCase {
    std::vector<Holder> holders;
    std::wstring closed; // the names of those to close, separated by "; "
};

const HoldersCase kHoldersCases[] = {
    {{}, L""},
    {{kLook}, L"Quillo Look (process 1234, session 1)"},
    {{kLook, kService},
     L"Quillo Look (process 1234, session 1); Quillo Sync (process 88, session 0)"},
    {{kCritical}, L""},
    {{kSetup, kCritical, kService}, L"Quillo Sync (process 88, session 0)"},
};

class HoldersTableTest : public testing::TestWithParam<HoldersCase> {};

TEST_P(HoldersTableTest, ClosesAllButTheSystemsAndSetupItself) {
    EXPECT_EQ(GetParam().closed, HolderNames(HoldersToClose(GetParam().holders, 4321), L"; "));
}

INSTANTIATE_TEST_SUITE_P(Holders, HoldersTableTest, testing::ValuesIn(kHoldersCases));

} // namespace
