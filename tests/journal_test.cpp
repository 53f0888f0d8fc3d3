#include "upgrade/Journal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Journal ThreeEntries() {
    Journal journal;
    journal.entries = {{0, false, 0, 0},
                       {1, true, 123456789012ull, 133590384000000000ll},
                       {kListItem, false, 9223372036854775807ull, 9223372036854775807ll}};
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
        EXPECT_EQ(journal.entries[i].size, parsed.entries[i].size);
        EXPECT_EQ(journal.entries[i].lastWrite, parsed.entries[i].lastWrite);
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
    for (const char* body :
         {"m1 1 1\r\nend\r\n", "r: 1 1\r\nend\r\n", "r1 1 1\r\r\nend\r\n", "r1 1 1\nend\r\n",
          "r1 1\r\nend\r\n", "r1  1 1\r\nend\r\n", "r1 x 1\r\nend\r\n", "r1 1 1 1\r\nend\r\n",
          "r1 1 9223372036854775808\r\nend\r\n", "r1 12345678901234567890 1\r\nend\r\n"})
        EXPECT_FALSE(ParseJournal(header + body, &parsed)) << body;
    EXPECT_TRUE(ParseJournal(header + "end\r\n", &parsed));
    EXPECT_TRUE(parsed.entries.empty());
}

TEST(JournalTest, EachStateHasANameOfItsOwn) {
    EXPECT_STRNE(JournalNameOf(JournalState::Committing), JournalNameOf(JournalState::Committed));
}

} // namespace
