#include "EntryController.h"

#include "EntryForm.h"
#include "FakeConsoleContext.h"
#include "RelayModePicture.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

const QString kLimitMessage = QStringLiteral("Merci de mettre une valeur < ou = a 55 ° C");

// Message boxes that also look at the window while a box is up.
class PeekingMessageBoxes : public ScriptedMessageBoxes
{
public:
    void message(const QString &text) override
    {
        ScriptedMessageBoxes::message(text);
        if (whileShown)
            whileShown();
    }
    std::function<void()> whileShown;
};

class EntryControllerTest : public ::testing::Test
{
protected:
    EntryControllerTest()
    {
        // The window's load steps 7, 8 and 10.
        entry.setTenthsMaxLengths();
        entry.resetModeRelais();
        entry.clearEntryFlags();
    }

    const ScriptedMessageBoxes &boxes() const { return *context.doubles.messageBoxes; }

    EntryForm form;
    FakeConsoleContext context;
    EntryController entry{form.root.get(), context, QCoreApplication::applicationDirPath()};
};

} // namespace

TEST_F(EntryControllerTest, StartStateOnScreen)
{
    EXPECT_EQ(form.Text_t1_dixieme->maxLength(), 1);
    EXPECT_EQ(form.Text_t2_dixieme->maxLength(), 1);
    EXPECT_EQ(entry.Mode_relais(), 65);
    EXPECT_FALSE(entry.Ok_t1_signe() || entry.Ok_t2_signe() || entry.Ok_t1_value() || entry.Ok_t2_value() ||
                 entry.Ok_t1_dixieme() || entry.Ok_t2_dixieme());
    EXPECT_FALSE(form.Combo_t1_signe->isEditable());
    // The drawn curve of mode A until a mode is chosen.
    EXPECT_FALSE(form.Image1->pixmap().isNull());
    EXPECT_FALSE(entry.modePictureFromFile());
    EXPECT_TRUE(form.SendRptsBtn->isHidden());
}

TEST_F(EntryControllerTest, WholeFieldTakesDigitsAndBackspaceOnly)
{
    QTest::keyClicks(form.Text_t1_value, QStringLiteral("1a-2.,"));
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("12"));
    QTest::keyClick(form.Text_t1_value, Qt::Key_Backspace);
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("1"));
    // A paste goes through the same gate.
    form.Text_t1_value->insert(QStringLiteral("x9"));
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("1"));
    form.Text_t1_value->insert(QStringLiteral("9"));
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("19"));
    EXPECT_TRUE(entry.Ok_t1_value());
}

TEST_F(EntryControllerTest, TenthsFieldTakesOneDigit)
{
    QTest::keyClicks(form.Text_t2_dixieme, QStringLiteral("a,"));
    EXPECT_TRUE(form.Text_t2_dixieme->text().isEmpty());
    EXPECT_FALSE(entry.Ok_t2_dixieme());
    QTest::keyClicks(form.Text_t2_dixieme, QStringLiteral("78"));
    EXPECT_EQ(form.Text_t2_dixieme->text(), QStringLiteral("7"));
    EXPECT_TRUE(entry.Ok_t2_dixieme());
}

TEST(EntryControllerBox, MinusOverFiftyFiveShowsTheBoxBeforeTheClamp)
{
    auto boxes = std::make_shared<PeekingMessageBoxes>();
    FakeConsoleContext context(boxes);
    EntryForm form;
    EntryController entry(form.root.get(), context, QCoreApplication::applicationDirPath());
    entry.setTenthsMaxLengths();
    QString shownWhileBoxUp;
    QString signWhileBoxUp;
    boxes->whileShown = [&] {
        shownWhileBoxUp = form.Text_t1_value->text();
        signWhileBoxUp = form.Text_t1_signe->text();
    };

    QTest::keyClicks(form.Text_t1_value, QStringLiteral("100"));
    EntryForm::choose(form.Combo_t1_signe, QStringLiteral("-"));

    EXPECT_EQ(boxes->texts(), QStringList{kLimitMessage});
    EXPECT_EQ(boxes->count(ScriptedMessageBoxes::Kind::Message), 1);
    EXPECT_EQ(shownWhileBoxUp, QStringLiteral("100"));
    EXPECT_EQ(signWhileBoxUp, QStringLiteral("-"));
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("55"));
    EXPECT_EQ(form.Text_t1_value->maxLength(), 2);
    EXPECT_EQ(form.Text_t1_dixieme->text(), QStringLiteral("0"));
    EXPECT_TRUE(form.Text_t1_dixieme->isReadOnly());
    EXPECT_EQ(form.Text_t1_signe->text(), QStringLiteral("-"));
    EXPECT_EQ(entry.Signe_t1(), QStringLiteral("-"));
    EXPECT_TRUE(entry.Ok_t1_signe());
}

TEST_F(EntryControllerTest, TL130BeforeSignThenPlus)
{
    QTest::keyClicks(form.Text_t1_value, QStringLiteral("130"));
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("130"));
    EntryForm::choose(form.Combo_t1_signe, QStringLiteral("+"));
    EXPECT_TRUE(boxes().asked().empty());
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("125"));
    EXPECT_EQ(form.Text_t1_value->maxLength(), 3);
    EXPECT_EQ(form.Text_t1_dixieme->text(), QStringLiteral("0"));
    EXPECT_TRUE(form.Text_t1_dixieme->isReadOnly());
}

TEST_F(EntryControllerTest, TH130IsClampedAtOnce)
{
    QTest::keyClicks(form.Text_t2_value, QStringLiteral("130"));
    EXPECT_EQ(form.Text_t2_value->text(), QStringLiteral("125"));
    EXPECT_EQ(form.Text_t2_dixieme->text(), QStringLiteral("0"));
    EXPECT_TRUE(boxes().asked().empty());
}

TEST_F(EntryControllerTest, LockedTenthsRefuseTypingAndUnlockBelowTheLimit)
{
    EntryForm::choose(form.Combo_t1_signe, QStringLiteral("-"));
    QTest::keyClicks(form.Text_t1_value, QStringLiteral("55"));
    ASSERT_TRUE(form.Text_t1_dixieme->isReadOnly());
    QTest::keyClicks(form.Text_t1_dixieme, QStringLiteral("5"));
    EXPECT_EQ(form.Text_t1_dixieme->text(), QStringLiteral("0"));

    QTest::keyClick(form.Text_t1_value, Qt::Key_Backspace);
    EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("5"));
    EXPECT_FALSE(form.Text_t1_dixieme->isReadOnly());
}

TEST_F(EntryControllerTest, ClickEmptiesWholeFieldAndCounts)
{
    QTest::keyClicks(form.Text_t2_value, QStringLiteral("42"));
    entry.clearEntryFlags();
    QTest::mouseClick(form.Text_t2_value, Qt::LeftButton);
    EXPECT_TRUE(form.Text_t2_value->text().isEmpty());
    EXPECT_TRUE(entry.Ok_t2_value());
}

TEST_F(EntryControllerTest, OnlyTheLeftButtonClicks)
{
    EntryForm::choose(form.Combo_t1_signe, QStringLiteral("-"));
    QTest::keyClicks(form.Text_t1_value, QStringLiteral("55"));
    QTest::keyClicks(form.Text_t2_value, QStringLiteral("42"));
    QTest::keyClicks(form.Text_t2_dixieme, QStringLiteral("7"));
    entry.clearEntryFlags();
    const auto flags = [this] {
        return std::vector<bool>{entry.Ok_t1_value(), entry.Ok_t1_dixieme(), entry.Ok_t2_value(),
                                 entry.Ok_t2_dixieme()};
    };
    for (QLineEdit *field :
         {form.Text_t1_value, form.Text_t1_dixieme, form.Text_t2_value, form.Text_t2_dixieme}) {
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            SCOPED_TRACE(field->objectName().toStdString() +
                         (button == Qt::RightButton ? " right" : " middle"));
            QTest::mouseClick(field, button);
            EXPECT_EQ(form.Text_t1_value->text(), QStringLiteral("55"));
            EXPECT_EQ(form.Text_t1_dixieme->text(), QStringLiteral("0"));
            EXPECT_TRUE(form.Text_t1_dixieme->isReadOnly());
            EXPECT_EQ(form.Text_t2_value->text(), QStringLiteral("42"));
            EXPECT_EQ(form.Text_t2_dixieme->text(), QStringLiteral("7"));
            EXPECT_EQ(flags(), std::vector<bool>(4, false));
        }
    }
    // The left button still does.
    QTest::mouseClick(form.Text_t1_dixieme, Qt::LeftButton);
    EXPECT_TRUE(entry.Ok_t1_dixieme());
}

TEST_F(EntryControllerTest, ClickOnTenthsAtTheLimitLeavesZeroLocked)
{
    EntryForm::choose(form.Combo_t2_signe, QStringLiteral("+"));
    QTest::keyClicks(form.Text_t2_value, QStringLiteral("125"));
    QTest::mouseClick(form.Text_t2_dixieme, Qt::LeftButton);
    EXPECT_EQ(form.Text_t2_dixieme->text(), QStringLiteral("0"));
    EXPECT_TRUE(form.Text_t2_dixieme->isReadOnly());
    EXPECT_TRUE(entry.Ok_t2_dixieme());
}

TEST_F(EntryControllerTest, ModeBShowsItsPictureFileAndModeAAgain)
{
    form.Option_mode_b->click();
    EXPECT_EQ(entry.Mode_relais(), 66);
    EXPECT_TRUE(entry.modePictureFromFile());
    const QImage shipped(
        RelayModePicture::filePath(QCoreApplication::applicationDirPath(), ThresholdEntry::RelayMode::B));
    ASSERT_FALSE(shipped.isNull());
    EXPECT_EQ(form.Image1->pixmap().size(), shipped.size());

    form.Option_mode_a->click();
    EXPECT_EQ(entry.Mode_relais(), 65);
    EXPECT_TRUE(entry.modePictureFromFile());
    // Choosing a mode is no entry.
    EXPECT_FALSE(entry.Ok_t1_signe() || entry.Ok_t1_value() || entry.Ok_t1_dixieme());
}

TEST(EntryControllerPictures, MissingFilesStillSetTheModeAndShowTheDrawnCurve)
{
    QTemporaryDir emptyFolder;
    ASSERT_TRUE(emptyFolder.isValid());
    EntryForm form;
    FakeConsoleContext context;
    EntryController entry(form.root.get(), context, emptyFolder.path());

    form.Option_mode_b->click();
    EXPECT_EQ(entry.Mode_relais(), 66);
    EXPECT_FALSE(entry.modePictureFromFile());
    const QImage shown = form.Image1->pixmap().toImage();
    EXPECT_FALSE(shown.isNull());
    // The drawn curve of mode B, not the one of mode A the area started with.
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32),
              RelayModePicture::draw(ThresholdEntry::RelayMode::B).convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(context.doubles.messageBoxes->asked().empty());
}

TEST_F(EntryControllerTest, ButtonAppearsWithTheSixthEntryOnly)
{
    form.Option_mode_b->click();
    EntryForm::choose(form.Combo_t1_signe, QStringLiteral("-"));
    EntryForm::choose(form.Combo_t2_signe, QStringLiteral("+"));
    QTest::keyClicks(form.Text_t1_value, QStringLiteral("12"));
    QTest::keyClicks(form.Text_t2_value, QStringLiteral("20"));
    QTest::keyClicks(form.Text_t1_dixieme, QStringLiteral("5"));
    form.Option_mode_a->click();
    EXPECT_TRUE(form.SendRptsBtn->isHidden());

    QTest::mouseClick(form.Text_t2_dixieme, Qt::LeftButton);
    EXPECT_FALSE(form.SendRptsBtn->isHidden());

    // Nothing hides it again.
    QTest::mouseClick(form.Text_t1_value, Qt::LeftButton);
    EXPECT_FALSE(form.SendRptsBtn->isHidden());
}
