#include "HexDumpView.h"

#include "MemEditTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>

using namespace memtest;
using namespace Fichiers;

namespace {

class HexDumpViewTest : public EditorsTest
{
protected:
    void SetUp() override
    {
        EditorsTest::SetUp();
        Rt1 = std::make_unique<HexDumpView>(&editors, View::Flash);
        Rt1->setObjectName(QStringLiteral("Rt1"));
        Rt1->resize(520, 200);
        Rt2 = std::make_unique<HexDumpView>(&editors, View::Eeprom);
        Rt2->setObjectName(QStringLiteral("Rt2"));
        Rt2->resize(400, 200);
    }

    void clickOn(HexDumpView &view, int index)
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                          view.characterRect(index).center());
    }

    std::unique_ptr<HexDumpView> Rt1;
    std::unique_ptr<HexDumpView> Rt2;
};

} // namespace

TEST_F(HexDumpViewTest, ClickReachesTheRules)
{
    clickOn(*Rt1, at(View::Flash, 2, 1)); // on the address
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 2, 0));
    clickOn(*Rt1, at(View::Flash, 1, 52)); // in the ASCII column
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 2, 0));
    clickOn(*Rt2, at(View::Eeprom, 1, 9));
    EXPECT_EQ(editors.Rt2().caret(), digitAt(View::Eeprom, 1, 1, 1));
}

TEST_F(HexDumpViewTest, TypedDigitReachesTheImage)
{
    clickOn(*Rt1, digitAt(View::Flash, 2, 3));
    QTest::keyClicks(Rt1.get(), QStringLiteral("1a"));
    EXPECT_EQ(show(cellText(editors, View::Flash, 19)), "1A00");
    EXPECT_EQ(ProgWords[19], 0x1A00);
    EXPECT_EQ(ProgDefined[19], True);
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 2, 3, 2));

    QTest::keyClick(Rt1.get(), Qt::Key_Delete);
    EXPECT_EQ(ProgDefined[19], False);
    EXPECT_EQ(show(cellText(editors, View::Flash, 19)), "----");
}

TEST_F(HexDumpViewTest, ArrowsAndTheWidgetsOwnNavigation)
{
    clickOn(*Rt1, digitAt(View::Flash, 4, 0));
    QTest::keyClick(Rt1.get(), Qt::Key_Left);
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 3, 7, 3));
    QTest::keyClick(Rt1.get(), Qt::Key_Down);
    EXPECT_EQ(editors.Rt1().caret(), digitAt(View::Flash, 4, 7, 3));
    QTest::keyClick(Rt1.get(), Qt::Key_Home);
    EXPECT_EQ(editors.Rt1().caret(), at(View::Flash, 4, 0));
    QTest::keyClick(Rt1.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(editors.Rt1().caret(), editors.Rt1().length());
    EXPECT_EQ(Rt1->verticalScrollBar()->value(), Rt1->verticalScrollBar()->maximum());
}

TEST_F(HexDumpViewTest, TabSwitchesAsciiEntryInTheEepromViewOnly)
{
    clickOn(*Rt2, digitAt(View::Eeprom, 3, 2));
    QTest::keyClick(Rt2.get(), Qt::Key_Tab);
    EXPECT_EQ(editors.EepromAsciiMode(), True);
    EXPECT_EQ(editors.Rt2().caret(), asciiAt(View::Eeprom, 3, 0));
    QTest::keyClick(Rt2.get(), 'H', Qt::ShiftModifier);
    QKeyEvent eAcute(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("\u00E9"));
    QApplication::sendEvent(Rt2.get(), &eAcute);
    EXPECT_EQ(EepromBytes[24], 'H');
    EXPECT_EQ(EepromBytes[25], 0xE9);
    EXPECT_EQ(show(cellText(editors, View::Eeprom, 25)), "E9");

    const QString flash = editors.Rt1().text();
    clickOn(*Rt1, digitAt(View::Flash, 0, 0));
    QTest::keyClick(Rt1.get(), Qt::Key_Tab);
    EXPECT_EQ(editors.Rt1().text(), flash);
}

TEST_F(HexDumpViewTest, PasteCutUndoAndDropsChangeNothing)
{
    QApplication::clipboard()->setText(QStringLiteral("FFFF"));
    clickOn(*Rt1, digitAt(View::Flash, 0, 1));
    const QString before = editors.Rt1().text();
    QTest::keyClick(Rt1.get(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(Rt1.get(), Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(Rt1.get(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(Rt1.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(Rt1.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(editors.Rt1().text(), before);
    EXPECT_EQ(ProgDefined[1], False);
    EXPECT_FALSE(Rt1->acceptDrops());
    EXPECT_FALSE(Rt1->viewport()->acceptDrops());
}

namespace {

// Records the areas the view is asked to paint.
class RecordingView : public HexDumpView
{
public:
    using HexDumpView::HexDumpView;
    std::vector<QRect> painted;

protected:
    void paintEvent(QPaintEvent *e) override
    {
        painted.push_back(e->rect());
        HexDumpView::paintEvent(e);
    }
};

} // namespace

TEST_F(HexDumpViewTest, ATypedDigitRepaintsItsLineOnly)
{
    RecordingView view(&editors, View::Flash);
    view.resize(520, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                      view.characterRect(digitAt(View::Flash, 3, 2, 1)).center());
    QCoreApplication::processEvents();
    view.painted.clear();

    QTest::keyClick(&view, Qt::Key_7);
    QCoreApplication::processEvents();
    ASSERT_EQ(ProgWords[26], 0x0700);
    ASSERT_FALSE(view.painted.empty());
    const QRect line = view.characterRect(at(View::Flash, 3, 0));
    for (const QRect &r : view.painted) {
        EXPECT_GE(r.top(), line.top());
        EXPECT_LE(r.bottom(), line.bottom());
    }
}
