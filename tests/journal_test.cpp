#include "upgrade/Journal.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

Journal ThreeEntries() {
    Journal journal;
    journal.entries = {{0, false}, {1, true}, {kListItem, false}};
    return journal;
}

TEST(JournalTest, TextGoesBackToTheSameJournal) {
    const Journal journal = ThreeEntries();
    Journal parsed;
    ASSERT_TRUE(ParseJournal(FormatJournal(journal), &parsed));
    ASSERT_EQ(3u, parsed.entries.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(journal.entries[i].item, parsed.entries[i].item);
        EXPECT_EQ(journal.entries[i].adds, parsed.entries[i].adds);
    }
}

TEST(JournalTest, OnlyAWholeJournalIsRead) {
    const std::string text = FormatJournal(ThreeEntries());
    Journal parsed;
    // Every cut short of the whole text, as a torn write would leave it.
    for (size_t length = 0; length < text.size(); ++length)
        EXPECT_FALSE(ParseJournal(text.substr(0, length), &parsed)) << "cut at " << length;
    EXPECT_FALSE(ParseJournal(text + "x", &parsed));
    const std::string header = text.substr(0, text.find("\r\n") + 2);
    for (const char* body : {"m1\r\nend\r\n", "r:\r\nend\r\n", "r1\r\r\nend\r\n", "r1\nend\r\n"})
        EXPECT_FALSE(ParseJournal(header + body, &parsed)) << body;
    EXPECT_TRUE(ParseJournal(header + "end\r\n", &parsed));
    EXPECT_TRUE(parsed.entries.empty());
}

TEST(JournalTest, EachStateHasANameOfItsOwn) {
    EXPECT_STRNE(JournalNameOf(JournalState::Preparing), JournalNameOf(JournalState::Committing));
    EXPECT_STRNE(JournalNameOf(JournalState::Committing), JournalNameOf(JournalState::Committed));
    EXPECT_STRNE(JournalNameOf(JournalState::Preparing), JournalNameOf(JournalState::Committed));
}

// What recovery does to one entry for each state and each set of files found.
struct RecoveryCase {
    const char* name;
    JournalState state;
    bool adds;
    bool stagedExists;
    bool backupExists;
    unsigned steps;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) {
    *os << c.name;
}

using S = JournalState;

const RecoveryCase kRecoveryCases[] = {
    // Preparing: nothing was renamed yet; whatever was made goes.
    {"PreparingBothMade", S::Preparing, false, true, true, kDeleteStaged | kDeleteBackup},
    {"PreparingStagedOnly", S::Preparing, false, true, false, kDeleteStaged},
    {"PreparingNothingMade", S::Preparing, false, false, false, 0},
    {"PreparingBackupOnlyIsNotRestored", S::Preparing, false, false, true, kDeleteBackup},
    {"PreparingAdded", S::Preparing, true, true, false, kDeleteStaged},
    {"PreparingAddedNothingMade", S::Preparing, true, false, false, 0},
    // Committing: a staged copy still there was not renamed; a missing one was.
    {"CommittingNotRenamed", S::Committing, false, true, true, kDeleteStaged | kDeleteBackup},
    {"CommittingRenamed", S::Committing, false, false, true, kRestoreBackup},
    {"CommittingRestoredAlready", S::Committing, false, false, false, 0},
    {"CommittingAddedNotRenamed", S::Committing, true, true, false, kDeleteStaged},
    {"CommittingAddedRenamed", S::Committing, true, false, false, kDeleteDestination},
    // Committed: only the backups are left to delete.
    {"CommittedBackupLeft", S::Committed, false, false, true, kDeleteBackup},
    {"CommittedClean", S::Committed, false, false, false, 0},
    {"CommittedAdded", S::Committed, true, false, false, 0},
};

class RecoveryStepsTest : public testing::TestWithParam<RecoveryCase> {};

TEST_P(RecoveryStepsTest, UndoesOrFinishes) {
    const RecoveryCase& c = GetParam();
    EXPECT_EQ(c.steps, RecoverySteps(c.state, c.adds, c.stagedExists, c.backupExists));
}

INSTANTIATE_TEST_SUITE_P(Table, RecoveryStepsTest, testing::ValuesIn(kRecoveryCases),
                         [](const testing::TestParamInfo<RecoveryCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
