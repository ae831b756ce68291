// The main window over the real HID access component and the virtual
// thermostat, as `calidor --simulate` runs it.
#include "VirtualThermostat.h"

#include "FormMainFixture.h"
#include "Form_main.h"
#include "HidAgent.h"
#include "ScriptedPlatform.h"
#include "TSoftDet.h"
#include "VirtualTransport.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>

class WithVirtualThermostat : public ::testing::Test
{
protected:
    PlatformDoubles doubles;
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<VirtualThermostat> device = std::make_shared<VirtualThermostat>();
    std::shared_ptr<HidAgent> agent = std::make_shared<HidAgent>(transport);
    std::unique_ptr<Form_main> window;
    QString path;

    void start()
    {
        path = transport->plug(device);
        window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
        ASSERT_TRUE(window->load());
    }
};

TEST_F(WithVirtualThermostat, StartsReadsAndShowsTheThermostat)
{
    device->setThresholds(-125, 255);
    device->setMode(66);
    start();
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
    ASSERT_EQ(window->Devices().size(), 1u);
    EXPECT_TRUE(window->ContinuousCB->isChecked());
    EXPECT_TRUE(window->Timer1->isActive());

    ASSERT_TRUE(waitUntil([&] { return !window->Text_nombre_t->text().isEmpty(); }));
    EXPECT_TRUE(window->Text_nombre_t->text().endsWith(QStringLiteral(" °C")));
    EXPECT_EQ(window->Txt_t1_uniter_recev->text(), QStringLiteral("TL <  -  12.5 °C"));
    EXPECT_EQ(window->Txt_t2_uniter_recev->text(), QStringLiteral("TH >  + 25,5 °C"));
    EXPECT_EQ(window->Text_Mode_relais->text(), QStringLiteral("    Mode choisi : B"));
    EXPECT_NE(window->Image4->isHidden(), window->Image5->isHidden());
    const QStringList l = logLines(window->resultsText());
    EXPECT_TRUE(l.contains(QStringLiteral("Device # 1:")));
}

TEST_F(WithVirtualThermostat, UnplugDuringContinuousReadingThenPlugAgain)
{
    start();
    transport->unplug(path);
    ASSERT_TRUE(waitUntil([&] { return window->Devices().empty(); }));
    EXPECT_FALSE(window->ContinuousCB->isChecked());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_TRUE(window->ClearBtn->isEnabled());
    EXPECT_GE(doubles.beeper->beeps(), 2); // disconnected, closed
    QStringList l = logLines(window->resultsText());
    EXPECT_TRUE(std::any_of(l.begin(), l.end(), [](const QString &s) {
        return s.endsWith(QStringLiteral("has just been CLOSED. + + + "));
    }));

    // Plugged in again: the window opens it by itself; reading stays off
    // until the user ticks the box.
    transport->plug(std::make_shared<VirtualThermostat>());
    ASSERT_TRUE(waitUntil([&] { return window->Devices().size() == 1; }));
    EXPECT_TRUE(window->statusText().contains(QStringLiteral(" CONNECTED ")));
    EXPECT_FALSE(window->ContinuousCB->isChecked());
    window->ContinuousCB->setChecked(true);
    window->Text_nombre_t->clear();
    EXPECT_TRUE(waitUntil([&] { return !window->Text_nombre_t->text().isEmpty(); }));
}

TEST_F(WithVirtualThermostat, NoThermostatThenCancel)
{
    doubles.messageBoxes->queueAnswer(MessageBoxes::Answer::Cancel);
    window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
    EXPECT_FALSE(window->load());
    EXPECT_EQ(doubles.messageBoxes->count(ScriptedMessageBoxes::Kind::OkCancel), 1);
    EXPECT_FALSE(window->isVisible());
}
