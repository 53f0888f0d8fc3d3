// Recovery planned over every state the disk can be in, on a disk simulated in memory: every file
// of two items (one the upgrade replaces, one it adds) present or not, holding the old content, the
// new or none, each journal name absent, unreadable or read, the journal's staged copy present or
// not. From each, recovery must leave every installed file whole, never lose the old content, leave
// nothing of the upgrade behind, say Completed only when the new files are in place, and lead to
// the same end when cut short after any step and run again. The states an upgrade passes through,
// cut short at each of its steps, must roll back to the old files or finish with the new ones.
#include "upgrade/Recovery.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Other: a file another program put in place since the upgrade.
enum class Content { None, Old, New, Other };

constexpr int kReplaced = 3; // an item the upgrade replaces
constexpr int kAdded = 7;    // an item the upgrade adds
constexpr int kOther = 0;    // an item the upgrade leaves alone

// The new files' size and time; the old file has others.
constexpr unsigned long long kNewSize = 200;
constexpr long long kNewTime = 2000;

enum class JournalKind { Absent, Unreadable, Read };

struct SimItem {
    Content staged = Content::None, backup = Content::None, destination = Content::None;
};

struct SimDisk {
    SimItem items[kItemCount];
    JournalKind journals[2] = {JournalKind::Absent, JournalKind::Absent};
    bool stagedJournal = false;

    bool operator==(const SimDisk& other) const {
        for (int i = 0; i < kItemCount; ++i)
            if (items[i].staged != other.items[i].staged ||
                items[i].backup != other.items[i].backup ||
                items[i].destination != other.items[i].destination)
                return false;
        return journals[0] == other.journals[0] && journals[1] == other.journals[1] &&
               stagedJournal == other.stagedJournal;
    }
};

std::string Describe(const SimDisk& disk) {
    static const char* const kNames[] = {"-", "old", "new", "another program's"};
    auto name = [](Content c) { return kNames[static_cast<int>(c)]; };
    auto journal = [](JournalKind k) {
        return k == JournalKind::Absent ? "-" : k == JournalKind::Read ? "read" : "unreadable";
    };
    std::string text;
    for (int item : {kReplaced, kAdded, kOther})
        text += "item " + std::to_string(item) + " staged " + name(disk.items[item].staged) +
                " backup " + name(disk.items[item].backup) + " installed " +
                name(disk.items[item].destination) + "; ";
    return text + "committing " + journal(disk.journals[0]) + ", committed " +
           journal(disk.journals[1]) + (disk.stagedJournal ? ", staged journal" : "");
}

// The journal of the upgrade: item kReplaced replaced, kAdded added, both with the new file.
Journal RunJournal() {
    Journal journal;
    journal.entries = {{kReplaced, false, kNewSize, kNewTime}, {kAdded, true, kNewSize, kNewTime}};
    return journal;
}

FileFacts FactsOf(Content content) {
    FileFacts facts;
    facts.exists = content != Content::None;
    facts.size = content == Content::New ? kNewSize : content == Content::Old ? 100 : 300;
    facts.lastWrite = content == Content::New ? kNewTime : content == Content::Old ? 1000 : 3000;
    return facts;
}

DiskFacts FactsOf(const SimDisk& disk) {
    DiskFacts facts;
    for (int i = 0; i < kItemCount; ++i) {
        facts.items[i].staged = disk.items[i].staged != Content::None;
        facts.items[i].backup = disk.items[i].backup != Content::None;
        facts.items[i].destination = FactsOf(disk.items[i].destination);
    }
    for (JournalState state : {JournalState::Committing, JournalState::Committed}) {
        JournalFacts& journal = facts.journals[static_cast<int>(state)];
        JournalKind kind = disk.journals[static_cast<int>(state)];
        journal.kind = kind == JournalKind::Absent       ? JournalFacts::Kind::Absent
                       : kind == JournalKind::Unreadable ? JournalFacts::Kind::Unreadable
                                                         : JournalFacts::Kind::Read;
        if (kind == JournalKind::Read)
            journal.journal = RunJournal();
    }
    facts.stagedJournal = disk.stagedJournal;
    return facts;
}

Content& At(SimItem& item, Place place) {
    return place == Place::Staged   ? item.staged
           : place == Place::Backup ? item.backup
                                    : item.destination;
}

// Carries out one step as the file system would; false when it fails (nothing changes then).
bool Apply(SimDisk& disk, const PlanStep& step) {
    using Kind = PlanStep::Kind;
    SimItem& item = disk.items[step.item];
    switch (step.kind) {
    case Kind::Rename:
        if (At(item, step.from) == Content::None || At(item, step.to) != Content::None)
            return false;
        At(item, step.to) = At(item, step.from);
        At(item, step.from) = Content::None;
        return true;
    case Kind::Delete:
        At(item, step.from) = Content::None;
        return true;
    case Kind::DeleteJournal:
        disk.journals[static_cast<int>(step.journal)] = JournalKind::Absent;
        return true;
    case Kind::DeleteStagedJournal:
        disk.stagedJournal = false;
        return true;
    case Kind::CommitJournal:
        if (disk.journals[0] == JournalKind::Absent || disk.journals[1] != JournalKind::Absent)
            return false;
        disk.journals[1] = disk.journals[0];
        disk.journals[0] = JournalKind::Absent;
        return true;
    }
    return false;
}

// Plans and carries out a recovery; the steps carried out, or -1 when a step failed.
int Recover(SimDisk& disk, bool endOfRun, RecoveryPlan* plan = nullptr) {
    RecoveryPlan planned =
        PlanRecovery(FactsOf(disk), endOfRun ? Finishing::BackupsAndJournal : Finishing::Backups);
    if (plan)
        *plan = planned;
    for (const PlanStep& step : planned.steps)
        if (!Apply(disk, step))
            return -1;
    return static_cast<int>(planned.steps.size());
}

// Every state of the two items' files and of the journals.
std::vector<SimDisk> EveryState() {
    const Content contents[] = {Content::None, Content::Old, Content::New, Content::Other};
    const JournalKind kinds[] = {JournalKind::Absent, JournalKind::Unreadable, JournalKind::Read};
    std::vector<SimDisk> states;
    for (Content replacedStaged : {Content::None, Content::New})
        for (Content replacedBackup : {Content::None, Content::Old})
            for (Content replacedInstalled : contents)
                for (Content addedStaged : {Content::None, Content::New})
                    for (Content addedBackup : {Content::None, Content::Old})
                        for (Content addedInstalled : {Content::None, Content::New})
                            for (JournalKind committing : kinds)
                                for (JournalKind committed : kinds)
                                    for (bool stagedJournal : {false, true}) {
                                        SimDisk disk;
                                        disk.items[kOther].destination = Content::Old;
                                        disk.items[kReplaced] = {replacedStaged, replacedBackup,
                                                                 replacedInstalled};
                                        disk.items[kAdded] = {addedStaged, addedBackup,
                                                              addedInstalled};
                                        disk.journals[0] = committing;
                                        disk.journals[1] = committed;
                                        disk.stagedJournal = stagedJournal;
                                        states.push_back(disk);
                                    }
    return states;
}

bool Has(const SimItem& item, Content content) {
    return item.staged == content || item.backup == content || item.destination == content;
}

TEST(RecoveryPlanTest, EveryStateEndsWholeWithNothingLeftAndTheSameEndWhenCutShort) {
    for (bool endOfRun : {false, true}) {
        for (const SimDisk& before : EveryState()) {
            SCOPED_TRACE(Describe(before) + (endOfRun ? " (end of run)" : ""));
            SimDisk after = before;
            RecoveryPlan plan;
            const int done = Recover(after, endOfRun, &plan);
            ASSERT_GE(done, 0) << "a step of the plan cannot be carried out";
            const bool completed = plan.outcome == RecoveryPlan::Outcome::Completed;

            // Nothing of the upgrade is left but, until its run has ended, the journal of a
            // complete one.
            for (int item : {kReplaced, kAdded, kOther}) {
                EXPECT_EQ(after.items[item].staged, Content::None) << "item " << item;
                EXPECT_EQ(after.items[item].backup, Content::None) << "item " << item;
            }
            EXPECT_EQ(after.journals[0], JournalKind::Absent);
            EXPECT_EQ(after.journals[1],
                      completed && !endOfRun ? JournalKind::Read : JournalKind::Absent);
            EXPECT_FALSE(after.stagedJournal);
            // The old content is never lost: the replaced file is old or new afterwards; the file
            // the upgrade left alone is untouched.
            if (Has(before.items[kReplaced], Content::Old)) {
                EXPECT_NE(after.items[kReplaced].destination, Content::None);
            }
            EXPECT_EQ(after.items[kOther].destination, Content::Old);
            // Another program's file, put in place since the upgrade that a journal records, is
            // never taken away. (Without a journal it cannot be told from the old file.)
            const bool others = before.items[kReplaced].destination == Content::Other;
            if (others && (before.journals[0] == JournalKind::Read ||
                           before.journals[1] == JournalKind::Read)) {
                EXPECT_EQ(after.items[kReplaced].destination, Content::Other);
            }
            // Complete only with the new files in place; a roll-back with the journal read puts
            // the old files back and takes the added one away.
            if (completed) {
                EXPECT_EQ(after.items[kReplaced].destination, Content::New);
                EXPECT_EQ(after.items[kAdded].destination, Content::New);
            } else if (before.journals[0] == JournalKind::Read) {
                if (Has(before.items[kReplaced], Content::Old) && !others) {
                    EXPECT_EQ(after.items[kReplaced].destination, Content::Old);
                }
                EXPECT_EQ(after.items[kAdded].destination, before.items[kAdded].backup);
            }

            // Run again: nothing more to do.
            SimDisk again = after;
            RecoveryPlan second;
            Recover(again, endOfRun, &second);
            EXPECT_TRUE(second.steps.empty()) << "a second recovery still has work";
            EXPECT_TRUE(again == after);

            // Cut short after each step, then run again from what it left.
            for (int cut = 0; cut < done; ++cut) {
                SimDisk resumed = before;
                for (int i = 0; i < cut; ++i)
                    Apply(resumed, plan.steps[i]);
                RecoveryPlan rest;
                ASSERT_GE(Recover(resumed, endOfRun, &rest), 0) << "cut after " << cut;
                EXPECT_TRUE(resumed == after)
                    << "cut after " << cut << " ends as " << Describe(resumed);
                if (completed) {
                    EXPECT_EQ(rest.outcome, RecoveryPlan::Outcome::Completed) << "cut " << cut;
                }
            }
        }
    }
}

// The states an upgrade passes through: the staged copies made, the journal written (its staged
// copy, then under its name), then the commit's steps one by one.
std::vector<SimDisk> UpgradeMoments() {
    std::vector<SimDisk> moments;
    SimDisk disk;
    disk.items[kOther].destination = Content::Old;
    disk.items[kReplaced].destination = Content::Old;
    moments.push_back(disk);
    disk.items[kReplaced].staged = Content::New;
    moments.push_back(disk);
    disk.items[kAdded].staged = Content::New;
    moments.push_back(disk);
    disk.stagedJournal = true;
    moments.push_back(disk);
    disk.stagedJournal = false;
    disk.journals[0] = JournalKind::Read;
    moments.push_back(disk);
    for (const PlanStep& step : PlanCommit(RunJournal())) {
        EXPECT_TRUE(Apply(disk, step));
        moments.push_back(disk);
    }
    return moments;
}

TEST(RecoveryPlanTest, AnUpgradeCutShortAtAnyStepRollsBackOrFinishes) {
    const std::vector<SimDisk> moments = UpgradeMoments();
    bool committedYet = false;
    for (size_t i = 0; i < moments.size(); ++i) {
        const SimDisk& moment = moments[i];
        SCOPED_TRACE(Describe(moment));
        committedYet |= moment.journals[1] == JournalKind::Read;
        SimDisk after = moment;
        RecoveryPlan plan;
        ASSERT_GE(Recover(after, false, &plan), 0);
        const Content expected = committedYet ? Content::New : Content::Old;
        EXPECT_EQ(after.items[kReplaced].destination, expected);
        EXPECT_EQ(after.items[kAdded].destination, committedYet ? Content::New : Content::None);
        EXPECT_EQ(plan.outcome, committedYet ? RecoveryPlan::Outcome::Completed
                                : i == 0     ? RecoveryPlan::Outcome::None
                                             : RecoveryPlan::Outcome::RolledBack);
    }
    EXPECT_TRUE(committedYet) << "the commit never reached its journal's last state";
}

} // namespace
