// libFuzzer target for the journal's text and the recovery planned from it.
//
// Input: four bytes saying which of each item's files exist (three bits an item: staged copy,
// backup, installed file; the installed file is the journal's new file when the fourth byte's bit
// of the item says so), one byte saying under which names the journal lies (bit 0: Committing,
// bit 1: Committed, bit 2: the staged journal), then the journal's text.
//
// Every input must satisfy, besides running clean under AddressSanitizer and
// UndefinedBehaviorSanitizer:
// - a text that parses formats to a text that parses to the same entries;
// - the planned steps name items that exist and places that make sense (a rename between two
//   places of one item, never a place onto itself);
// - a plan that says Completed deletes no installed file and renames none;
// - carried out on the files as the input says they are, the plan leaves no staged copy and no
//   backup, and planning again finds nothing more to do.
#include "upgrade/Journal.h"
#include "upgrade/Recovery.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        __builtin_trap();
    }
}

bool SameEntries(const Journal& a, const Journal& b) {
    if (a.entries.size() != b.entries.size())
        return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const JournalEntry& x = a.entries[i];
        const JournalEntry& y = b.entries[i];
        if (x.item != y.item || x.adds != y.adds || x.size != y.size || x.lastWrite != y.lastWrite)
            return false;
    }
    return true;
}

// What a file holds, as far as the plan can tell: whether it is there, and whether it is the new
// file the journal records for its item.
struct SimFile {
    bool exists = false;
    bool isNew = false;
};

struct SimItem {
    SimFile files[3]; // staged, backup, installed: as Place
};

SimFile& At(SimItem& item, Place place) {
    return item.files[static_cast<int>(place)];
}

// Applies a step as the file system would; false when it cannot.
bool Apply(SimItem* items, bool* journals, bool* stagedJournal, const PlanStep& step) {
    switch (step.kind) {
    case PlanStep::Kind::Rename: {
        SimFile& from = At(items[step.item], step.from);
        SimFile& to = At(items[step.item], step.to);
        if (!from.exists || to.exists)
            return false;
        to = from;
        from = SimFile();
        return true;
    }
    case PlanStep::Kind::Delete:
        At(items[step.item], step.from) = SimFile();
        return true;
    case PlanStep::Kind::DeleteJournal:
        journals[static_cast<int>(step.journal)] = false;
        return true;
    case PlanStep::Kind::DeleteStagedJournal:
        *stagedJournal = false;
        return true;
    case PlanStep::Kind::CommitJournal:
        return false; // never part of a recovery
    }
    return false;
}

DiskFacts FactsOf(const SimItem* items, const bool* journals, bool stagedJournal,
                  const JournalFacts& journal, const Journal& parsed) {
    DiskFacts disk;
    for (int item = 0; item < kItemCount; ++item) {
        const SimFile& installed = items[item].files[static_cast<int>(Place::Destination)];
        disk.items[item].staged = items[item].files[static_cast<int>(Place::Staged)].exists;
        disk.items[item].backup = items[item].files[static_cast<int>(Place::Backup)].exists;
        disk.items[item].destination.exists = installed.exists;
        // The new file has the size and time the journal records for its item; any other file
        // has others.
        const JournalEntry* entry = nullptr;
        for (const JournalEntry& e : parsed.entries)
            if (e.item == item && !entry)
                entry = &e;
        disk.items[item].destination.size = installed.isNew && entry ? entry->size : ~0ull;
        disk.items[item].destination.lastWrite = installed.isNew && entry ? entry->lastWrite : -1;
    }
    for (int state = 0; state < 2; ++state)
        disk.journals[state] = journals[state] ? journal : JournalFacts();
    disk.stagedJournal = stagedJournal;
    return disk;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    const uint32_t present = data[0] | data[1] << 8 | data[2] << 16 | (data[3] & 0x3F) << 24;
    const uint8_t names = data[4];
    const std::string text(reinterpret_cast<const char*>(data + 5), size - 5);

    Journal parsed;
    const bool readable = ParseJournal(text, &parsed);
    if (readable) {
        Journal again;
        Check(ParseJournal(FormatJournal(parsed), &again), "a formatted journal parses");
        Check(SameEntries(parsed, again), "a formatted journal parses to the same entries");
    }

    SimItem items[kItemCount];
    for (int item = 0; item < kItemCount; ++item) {
        const unsigned bits = present >> (3 * item);
        items[item].files[0].exists = bits & 1;
        items[item].files[1].exists = bits & 2;
        items[item].files[2].exists = bits & 4;
        items[item].files[2].isNew = (data[3] >> 6) & 1 && item % 2 == 0;
    }
    bool journals[2] = {(names & 1) != 0, (names & 2) != 0};
    bool stagedJournal = (names & 4) != 0;
    JournalFacts journal;
    journal.kind = readable ? JournalFacts::Kind::Read : JournalFacts::Kind::Unreadable;
    journal.journal = parsed;

    const RecoveryPlan plan =
        PlanRecovery(FactsOf(items, journals, stagedJournal, journal, parsed), Finishing::Backups);
    for (const PlanStep& step : plan.steps) {
        Check(step.item >= 0 && step.item < kItemCount, "a step names an item that exists");
        if (step.kind == PlanStep::Kind::Rename)
            Check(step.from != step.to, "a rename moves a file to another place");
        if (plan.outcome == RecoveryPlan::Outcome::Completed)
            Check(step.kind != PlanStep::Kind::Rename &&
                      !(step.kind == PlanStep::Kind::Delete && step.from == Place::Destination),
                  "a complete upgrade keeps its installed files");
        Check(Apply(items, journals, &stagedJournal, step), "every step can be carried out");
    }
    for (const SimItem& item : items)
        Check(!item.files[0].exists && !item.files[1].exists, "no staged copy or backup is left");
    const RecoveryPlan second =
        PlanRecovery(FactsOf(items, journals, stagedJournal, journal, parsed), Finishing::Backups);
    Check(second.steps.empty(), "a second recovery finds nothing to do");
    return 0;
}
