// The drop combo's matching and type-ahead on a display queue: completion to the first row in
// queue order, the case flag, Backspace taking back a typed character, typing on past a mismatch,
// keys completion leaves alone, and whole-value matching for taking a typed value over.
#include <gtest/gtest.h>

#include <string>

#include "classes/window/table_drop_combo.h"
#include "ui/keys.h"

namespace docket::classes {
namespace {

class TableDropComboTest : public ::testing::Test {
protected:
    void SetUp() override {
        queue.rows = {{"Nota Dinas", "3"}, {"Surat", "1"}, {"Surat Edaran", "2"}, {"surat keputusan", "4"}};
        combo.LISTQUEUE = &queue;
    }
    // Types `keys` one after the other into an entry holding `start` with the caret at the end.
    TableDropCombo::Completion typeKeys(const std::string& start, const std::string& keys) {
        TableDropCombo::Completion c{start, static_cast<int>(start.size()), 0};
        for (char k : keys) {
            const int selection = c.selectFrom < static_cast<int>(c.text.size()) ? c.selectFrom : -1;
            TableDropCombo::Completion next;
            const bool backspace = k == '\b';
            EXPECT_TRUE(combo.TypeAhead(c.text, selection, static_cast<int>(c.text.size()), backspace ? 8 : 0,
                                        backspace ? std::string() : std::string(1, k), next));
            c = next;
        }
        return c;
    }
    ui::QueueSource queue;
    TableDropCombo combo;
};

TEST_F(TableDropComboTest, CompletesToTheFirstRowInQueueOrderWithTheTailSelected) {
    const auto c = typeKeys("", "su");
    EXPECT_EQ(c.text, "surat"); // the typed part keeps the user's case
    EXPECT_EQ(c.selectFrom, 2);
    EXPECT_EQ(c.row, 2);
    EXPECT_EQ(typeKeys("", "Surat E").row, 3);
}

TEST_F(TableDropComboTest, TheCaseFlagMakesCompletionTellCaseApart) {
    combo.CASESENSITIVEFLAG = 1;
    EXPECT_EQ(typeKeys("", "surat").row, 4);
    EXPECT_EQ(typeKeys("", "Surat k").row, 0);
}

TEST_F(TableDropComboTest, BackspaceTakesBackATypedCharacterNotTheCompletedTail) {
    const auto c = typeKeys("", "Sura\b");
    EXPECT_EQ(c.text, "Surat");
    EXPECT_EQ(c.selectFrom, 3);
    EXPECT_EQ(c.row, 2);
}

TEST_F(TableDropComboTest, TypingOnPastAMismatchKeepsTheTypedText) {
    const auto c = typeKeys("", "Surx");
    EXPECT_EQ(c.text, "Surx");
    EXPECT_EQ(c.row, 0);
    EXPECT_EQ(combo.ECON, 0);
    EXPECT_EQ(typeKeys("", "Surxy").text, "Surxy");
}

TEST_F(TableDropComboTest, KeysWithoutACharacterAreLeftToTheEntry) {
    TableDropCombo::Completion out;
    EXPECT_FALSE(combo.TypeAhead("Sur", -1, 3, ui::key::Home, "", out));
    // The caret inside the text: completion stays out of the way.
    EXPECT_FALSE(combo.TypeAhead("Surat", -1, 2, 0, "x", out));
}

TEST_F(TableDropComboTest, TakingAValueOverNeedsTheWholeValue) {
    EXPECT_EQ(combo.FindRow("Sura", true), 0);
    EXPECT_EQ(combo.FindRow("Sura", false), 2);
    EXPECT_EQ(combo.FindRow("surat", true), 2); // case-blind without the flag
    EXPECT_EQ(combo.FindRow("SURAT EDARAN", true), 3);
    combo.CASESENSITIVEFLAG = 1;
    EXPECT_EQ(combo.FindRow("surat", true), 0);
}

} // namespace
} // namespace docket::classes
