// The console dialog protocol: what a box prints and how scripted answers are read.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/console/ConsoleDialogs.h"

namespace {

using zq::MsgButtons;
using zq::MsgIcon;
using zq::MsgResult;

struct Console {
    explicit Console(const std::string& input) : in(input), dialogs(in, err) {}
    std::istringstream in;
    std::ostringstream err;
    zq::console::ConsoleDialogs dialogs;
};

TEST(ConsoleDialogs, BoxPrintsTitleIconButtonsAndOneLinePerTextLine) {
    Console c("\n");
    EXPECT_EQ(c.dialogs.ShowMessage("Zeile 1\r\nZeile 2\r\n\r\n- Punkt\r\n", "Reorg Fehler",
                                   MsgIcon::Exclamation, MsgButtons::Ok),
              MsgResult::Ok);
    EXPECT_EQ(c.err.str(), "== Reorg Fehler == exclamation == OK\nZeile 1\nZeile 2\n\n- Punkt\n");

    Console q("");
    q.dialogs.ShowMessage("Frage?", "Reorg Frage", MsgIcon::Question, MsgButtons::YesNoCancel, 1);
    EXPECT_EQ(q.err.str(), "== Reorg Frage == question == Ja/Nein*/Abbrechen\nFrage?\n");

    Console y("");
    y.dialogs.ShowMessage("x", "T", MsgIcon::Stop, MsgButtons::YesNo, 0);
    y.dialogs.ShowMessage("x", "T", MsgIcon::Information, MsgButtons::Ok);
    y.dialogs.ShowMessage("x", "T", MsgIcon::None, MsgButtons::Ok);
    EXPECT_EQ(y.err.str(),
              "== T == stop == Ja*/Nein\nx\n== T == information == OK\nx\n== T == none == OK\nx\n");
}

TEST(ConsoleDialogs, AnswersAreReadLineByLine) {
    Console c("j\ny\nN\nA\nc\nJa\r\nnein\n");
    auto ask = [&] {
        return c.dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNoCancel, 2);
    };
    EXPECT_EQ(ask(), MsgResult::Yes);
    EXPECT_EQ(ask(), MsgResult::Yes);
    EXPECT_EQ(ask(), MsgResult::No);
    EXPECT_EQ(ask(), MsgResult::Cancel);
    EXPECT_EQ(ask(), MsgResult::Cancel);
    EXPECT_EQ(ask(), MsgResult::Yes);
    EXPECT_EQ(ask(), MsgResult::No);
    // Input exhausted: every further box takes its default and nothing waits.
    EXPECT_EQ(ask(), MsgResult::Cancel);
    EXPECT_EQ(c.dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNo, 1),
              MsgResult::No);
}

TEST(ConsoleDialogs, EmptyUnknownAndUnofferedAnswersTakeTheDefault) {
    Console c("\nx\na\n   \nanything\n");
    EXPECT_EQ(c.dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNoCancel, 1),
              MsgResult::No);
    EXPECT_EQ(c.dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNoCancel, 0),
              MsgResult::Yes);
    EXPECT_EQ(c.dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNo, 1),
              MsgResult::No);  // a Yes/No box has no Abbrechen
    EXPECT_EQ(c.dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNo, 7),
              MsgResult::Yes);  // a default out of range falls back to the first button
    EXPECT_EQ(c.dialogs.ShowMessage("!", "T", MsgIcon::Information, MsgButtons::Ok), MsgResult::Ok);
}

TEST(ConsoleDialogs, OpenFilePromptsAndReadsAPath) {
    Console c("/data/zqdata.mdb\n\n");
    EXPECT_EQ(c.dialogs.OpenFile("Datendatei wählen", "Access", "*.mdb", "/data/"),
              std::optional<std::string>("/data/zqdata.mdb"));
    EXPECT_EQ(c.err.str(), "== Datendatei wählen == Datei (Access *.mdb) in /data/ ==\n");
    EXPECT_EQ(c.dialogs.OpenFile("T", "A", "*.mdb", "/"), std::nullopt);
    EXPECT_EQ(c.dialogs.OpenFile("T", "A", "*.mdb", "/"), std::nullopt);  // end of input
}

}  // namespace
