#include "FormMainFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

// A read cycle over one scripted thermostat, with continuous reading off so
// only the test runs cycles.
class ReadCycleTest : public FormMainTest
{
protected:
    void SetUp() override
    {
        loadWithThermostat();
        window->ContinuousCB->setChecked(false);
        doubles.beeper->reset();
    }

    void readWith(std::array<std::int32_t, 7> raw)
    {
        agent->setDeviceValues(thermostat, raw);
        window->readCycle();
    }

    QColor statusColour() const { return window->Text_status->palette().color(QPalette::Text); }
};

TEST_F(ReadCycleTest, LogsTheSevenRawValues)
{
    readWith({250, 65411, 300, 1, 66, 7, 0});
    const QStringList expected = {
        QString(),
        QStringLiteral("Device # 1:"),
        QStringLiteral("  InTempVar  250"),
        QStringLiteral("  InTempLowVar  65411"),
        QStringLiteral("  InTempHighVar  300"),
        QStringLiteral("  InTempSwitchVar  1"),
        QStringLiteral("  InModeStatus  66"),
        QStringLiteral("  InBootStatus  7"),
        QStringLiteral("  InSondeStatus  0"),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
    EXPECT_TRUE(lines().first().startsWith(QStringLiteral("Test results:  ")));
    EXPECT_EQ(doubles.beeper->beeps(), 0);
}

TEST_F(ReadCycleTest, DisplayUnderFrenchAndEnglishSeparators)
{
    struct Case
    {
        QChar separator;
        std::array<std::int32_t, 7> raw;
        const char *temperature;
        const char *low;
        const char *high;
    };
    const Case cases[] = {
        {QLatin1Char(','),
         {255, 65411, 255, 1, 65, 0, 0},
         "+ 25,5 °C",
         "TL <  -  12.5 °C",
         "TH >  + 25,5 °C"},
        {QLatin1Char('.'),
         {255, 65411, 255, 1, 65, 0, 0},
         "+ 25.5 °C",
         "TL <  -  12.5 °C",
         "TH >  + 25.5 °C"},
        {QLatin1Char(','), {65535, 65531, 1250, 0, 66, 0, 0}, "- 0,1 °C", "TL <  -  .5 °C", "TH >  + 125 °C"},
        {QLatin1Char('.'), {64986, 200, 64986, 0, 66, 0, 0}, "- 55 °C", "TL <  + 20 °C", "TH >  -  55 °C"},
        {QLatin1Char(','), {1251, 0, 1252, 0, 65, 0, 0}, "+ 125,1 °C", "TL <  + 0 °C", "TH >  + 125,2 °C"},
        {QLatin1Char(','), {0, 65281, 5, 0, 65, 0, 0}, "+ 0 °C", "TL <  -  25.5 °C", "TH >  + 0,5 °C"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.temperature);
        doubles.regional->setDecimalSeparator(c.separator);
        readWith(c.raw);
        EXPECT_EQ(window->Text_nombre_t->text(), QString::fromUtf8(c.temperature));
        EXPECT_EQ(window->Txt_t1_uniter_recev->text(), QString::fromUtf8(c.low));
        EXPECT_EQ(window->Txt_t2_uniter_recev->text(), QString::fromUtf8(c.high));
    }
}

TEST_F(ReadCycleTest, RelayPictureAndModeFollowTheirCodes)
{
    readWith({0, 0, 0, 2, 67, 0, 0}); // neither known: nothing shown yet
    EXPECT_TRUE(window->Image4->isHidden());
    EXPECT_TRUE(window->Image5->isHidden());
    EXPECT_TRUE(window->Text_Mode_relais->text().isEmpty());

    readWith({0, 0, 0, 1, 65, 0, 0});
    EXPECT_FALSE(window->Image4->isHidden());
    EXPECT_FALSE(window->Label11->isHidden());
    EXPECT_TRUE(window->Image5->isHidden());
    EXPECT_TRUE(window->Label12->isHidden());
    EXPECT_EQ(window->Text_Mode_relais->text(), QStringLiteral("    Mode choisi : A"));

    readWith({0, 0, 0, 0, 66, 0, 0});
    EXPECT_TRUE(window->Image4->isHidden());
    EXPECT_TRUE(window->Label11->isHidden());
    EXPECT_FALSE(window->Image5->isHidden());
    EXPECT_FALSE(window->Label12->isHidden());
    EXPECT_EQ(window->Text_Mode_relais->text(), QStringLiteral("    Mode choisi : B"));

    readWith({0, 0, 0, 2, 67, 0, 0}); // unknown again: the last state stays
    EXPECT_FALSE(window->Image5->isHidden());
    EXPECT_EQ(window->Text_Mode_relais->text(), QStringLiteral("    Mode choisi : B"));
}

TEST_F(ReadCycleTest, ProbeStatusTextAndColour)
{
    const QColor normal = statusColour();
    readWith({0, 0, 0, 0, 65, 0, 2});
    EXPECT_EQ(window->Text_status->toPlainText(), QStringLiteral("Merci de connecter une sonde."));
    EXPECT_EQ(statusColour(), QColor(255, 0, 0));

    readWith({0, 0, 0, 0, 65, 0, 4}); // unknown: unchanged
    EXPECT_EQ(window->Text_status->toPlainText(), QStringLiteral("Merci de connecter une sonde."));

    readWith({0, 0, 0, 0, 65, 0, 3});
    EXPECT_EQ(window->Text_status->toPlainText(), QStringLiteral("Mesure fausse > Erreur de CRC."));
    readWith({0, 0, 0, 0, 65, 0, 1});
    EXPECT_EQ(window->Text_status->toPlainText(),
              QStringLiteral("Merci de vérifier la sonde car elle se trouve en cour-circuit."));
    EXPECT_EQ(statusColour(), QColor(255, 0, 0));

    readWith({0, 0, 0, 0, 65, 0, 0});
    EXPECT_EQ(window->Text_status->toPlainText(), QStringLiteral("Sonde fonctionnelle."));
    EXPECT_EQ(statusColour(), normal);
}

TEST_F(ReadCycleTest, AFailedReadLeavesTheDisplay)
{
    readWith({255, 200, 300, 1, 65, 0, 0});
    agent->intf(thermostat).readOk = false;
    readWith({100, 100, 100, 0, 66, 0, 2});
    const QStringList expected = {
        QString(),
        QStringLiteral("Device # 1:"),
        QStringLiteral("+ + + Unable to read from device 1! + + +"),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
    EXPECT_EQ(doubles.beeper->beeps(), 1);
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 25,5 °C"));
    EXPECT_EQ(window->Text_Mode_relais->text(), QStringLiteral("    Mode choisi : A"));
    EXPECT_FALSE(window->Image4->isHidden());
}

TEST_F(ReadCycleTest, AComponentFailureIsCaughtAndReadingGoesOn)
{
    readWith({255, 200, 300, 1, 65, 0, 0});
    window->ContinuousCB->setChecked(true);
    agent->intf(thermostat).throwOnRead = true;
    readWith({100, 100, 100, 0, 66, 0, 2});

    const QStringList l = linesAfterHeader();
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[1], QStringLiteral("Device # 1:"));
    EXPECT_EQ(l[2],
              QStringLiteral("+ + + Unable to read from device 1: HIDagentX:ReadCurrentRpt - Device not "
                             "responding (0x80040005) + + +"));
    EXPECT_EQ(doubles.beeper->beeps(), 1);
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 25,5 °C"));
    EXPECT_TRUE(window->Timer1->isActive());

    agent->intf(thermostat).throwOnRead = false;
    readWith({100, 100, 100, 0, 66, 0, 2});
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 10 °C"));
}

TEST_F(ReadCycleTest, SeveralDevicesEachGetABlockAndTheLastWins)
{
    const int second = agent->plug(QStringLiteral("Second"), 0x102);
    agent->OpenMatchingIntfs();
    ASSERT_EQ(window->Devices().size(), 2u);
    agent->setDeviceValues(thermostat, {100, 0, 0, 0, 65, 0, 0});
    agent->setDeviceValues(second, {200, 0, 0, 0, 65, 0, 0});
    window->readCycle();
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 20 °C"));
    const QStringList l = linesAfterHeader();
    ASSERT_EQ(l.size(), 18);
    EXPECT_EQ(l[1], QStringLiteral("Device # 1:"));
    EXPECT_EQ(l[2], QStringLiteral("  InTempVar  100"));
    EXPECT_EQ(l[10], QStringLiteral("Device # 2:"));
    EXPECT_EQ(l[11], QStringLiteral("  InTempVar  200"));

    // A failing first device does not stop the second.
    agent->intf(thermostat).readOk = false;
    agent->setDeviceValues(second, {300, 0, 0, 0, 65, 0, 0});
    window->readCycle();
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 30 °C"));
    EXPECT_TRUE(lines().contains(QStringLiteral("+ + + Unable to read from device 1! + + +")));
}

TEST_F(ReadCycleTest, EmptyDevicesOnlyResetsTheLog)
{
    agent->unplug(thermostat);
    ASSERT_TRUE(window->Devices().empty());
    window->AddToResults(QStringLiteral("old"));
    window->readCycle();
    EXPECT_EQ(lines().size(), 1);
    EXPECT_TRUE(lines().first().startsWith(QStringLiteral("Test results:  ")));
}

TEST_F(ReadCycleTest, TheButtonAndTheTimerRunTheSameCycle)
{
    agent->setDeviceValues(thermostat, {123, 0, 0, 0, 65, 0, 0});
    const int before = agent->calls("ReadCurrentRpt");
    window->ReadRptsBtn->click();
    EXPECT_EQ(agent->calls("ReadCurrentRpt"), before + 1);
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 12,3 °C"));

    agent->setDeviceValues(thermostat, {124, 0, 0, 0, 65, 0, 0});
    window->ContinuousCB->setChecked(true);
    EXPECT_TRUE(waitUntil([&] { return agent->calls("ReadCurrentRpt") >= before + 3; }));
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 12,4 °C"));
}

TEST_F(ReadCycleTest, TheMemoKeepsShowingTheStartOfTheLog)
{
    window->show();
    for (int i = 0; i < 30; ++i)
        window->readCycle();
    for (int i = 0; i < 100; ++i)
        window->AddToResults(QStringLiteral("line %1").arg(i));
    EXPECT_EQ(window->ResultsMemo->textCursor().position(), 0);
    EXPECT_EQ(window->ResultsMemo->verticalScrollBar()->value(), 0);
}
