#include "ScriptedDialogs.h"
#include "ScriptedMessageBoxes.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

// The doubles other tests lean on: they must answer as scripted and
// complain when a test forgot to script them.

TEST(ScriptedMessageBoxes, AnswersInQueueOrderAndRecordsEveryBox)
{
    ScriptedMessageBoxes boxes;
    boxes.queueAnswers({MessageBoxes::Answer::Ok, MessageBoxes::Answer::Cancel});
    boxes.message(QStringLiteral("m"));
    EXPECT_EQ(boxes.askOkCancel(QStringLiteral("a")), MessageBoxes::Answer::Ok);
    EXPECT_EQ(boxes.askOkCancel(QStringLiteral("b")), MessageBoxes::Answer::Cancel);
    EXPECT_EQ(boxes.texts(), (QStringList{QStringLiteral("m"), QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(boxes.count(ScriptedMessageBoxes::Kind::Message), 1);
    EXPECT_EQ(boxes.count(ScriptedMessageBoxes::Kind::OkCancel), 2);
    EXPECT_EQ(boxes.answersLeft(), 0u);
}

TEST(ScriptedMessageBoxes, UnscriptedQuestionFailsTheTestAndAnswersCancel)
{
    ScriptedMessageBoxes boxes;
    MessageBoxes::Answer answer = MessageBoxes::Answer::Ok;
    EXPECT_NONFATAL_FAILURE(answer = boxes.askOkCancel(QStringLiteral("x")), "Unexpected OK/Cancel box");
    EXPECT_EQ(answer, MessageBoxes::Answer::Cancel);
}

TEST(ScriptedDialogs, AnswersAndCancelsAsScripted)
{
    ScriptedDialogs dialogs;
    dialogs.queueSavePath(QStringLiteral("/tmp/log.txt"));
    dialogs.queueSaveCancel();
    dialogs.queueCopies(3);
    dialogs.queuePrintCancel();
    EXPECT_EQ(dialogs.askSaveFileName(QStringLiteral("f1"), 0),
              std::optional<QString>(QStringLiteral("/tmp/log.txt")));
    EXPECT_EQ(dialogs.askSaveFileName(QStringLiteral("f2"), 2), std::nullopt);
    EXPECT_EQ(dialogs.askPrintCopies(), std::optional<int>(3));
    EXPECT_EQ(dialogs.askPrintCopies(), std::nullopt);
    EXPECT_EQ(dialogs.saveFilters(), (QStringList{QStringLiteral("f1"), QStringLiteral("f2")}));
    EXPECT_EQ(dialogs.selectedSaveFilters(), (std::vector<int>{0, 2}));
    EXPECT_EQ(dialogs.printAsks(), 2);

    std::optional<int> copies = 1;
    EXPECT_NONFATAL_FAILURE(copies = dialogs.askPrintCopies(), "Unexpected printer dialog");
    EXPECT_EQ(copies, std::nullopt);
}
