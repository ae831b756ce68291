#include "EntryController.h"
#include "Form_main.h"
#include "HidAgent.h"
#include "ScriptedPlatform.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QStringList logLines(const QString &text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void choose(QComboBox *list, const QString &item)
{
    const int index = list->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
}

// The program as it runs with --simulate: the main window over the HID
// component and one virtual thermostat, with scripted desktop services.
class ConfigurationEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        thermostat = std::make_shared<VirtualThermostat>([this] { return now; });
        transport->plug(thermostat);
        window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
        ASSERT_TRUE(window->load());
        // The test runs the read cycles itself.
        window->ContinuousCB->click();
        ASSERT_FALSE(window->ContinuousCB->isChecked());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        if (window)
            window->close();
    }

    std::int64_t now = 0;
    PlatformDoubles doubles;
    std::shared_ptr<VirtualThermostat> thermostat;
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<HIDagentX> agent = std::make_shared<HidAgent>(transport);
    std::unique_ptr<Form_main> window;
};

} // namespace

TEST_F(ConfigurationEndToEnd, EnteredPairAndModeBReachTheThermostatAndComeBack)
{
    Form_main &w = *window;
    ASSERT_EQ(w.Devices().size(), 1u);
    ASSERT_TRUE(w.SendRptsBtn->isHidden());

    choose(w.Combo_t1_signe, QStringLiteral("-"));
    QTest::mouseClick(w.Text_t1_value, Qt::LeftButton);
    QTest::keyClicks(w.Text_t1_value, QStringLiteral("12"));
    QTest::mouseClick(w.Text_t1_dixieme, Qt::LeftButton);
    QTest::keyClicks(w.Text_t1_dixieme, QStringLiteral("5"));
    choose(w.Combo_t2_signe, QStringLiteral("+"));
    QTest::mouseClick(w.Text_t2_value, Qt::LeftButton);
    QTest::keyClicks(w.Text_t2_value, QStringLiteral("20"));
    EXPECT_TRUE(w.SendRptsBtn->isHidden());
    QTest::mouseClick(w.Text_t2_dixieme, Qt::LeftButton);
    QTest::keyClicks(w.Text_t2_dixieme, QStringLiteral("0"));
    QTest::mouseClick(w.Option_mode_b, Qt::LeftButton);

    EXPECT_EQ(w.entryController().Mode_relais(), 66);
    EXPECT_TRUE(w.entryController().modePictureFromFile());
    EXPECT_FALSE(w.Image1->pixmap().isNull());
    ASSERT_FALSE(w.SendRptsBtn->isHidden());
    ASSERT_TRUE(w.SendRptsBtn->isVisible());

    QTest::mouseClick(w.SendRptsBtn, Qt::LeftButton);

    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
    EXPECT_EQ(w.Text7->text(), QStringLiteral("12,5   20"));
    EXPECT_EQ(w.Text8->text(), QStringLiteral("-125   200"));
    const QStringList log = logLines(w.resultsText());
    const QStringList expected{QString(),
                               QStringLiteral("  Wrote to device: OutTempLowVar = 0xFF83"),
                               QStringLiteral("  Wrote to device: OutTempHighVar = 0xC8"),
                               QStringLiteral("  Wrote to device: OutModeRelayVar = 0x42"),
                               QStringLiteral("  Wrote to device: OutBootStatus = 0xC8"),
                               QStringLiteral("  Wrote to device: OutBootVar = 0xC9"),
                               QStringLiteral("  Successfully wrote to device")};
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(log.mid(log.size() - expected.size()), expected);

    EXPECT_EQ(thermostat->lowThreshold(), -125);
    EXPECT_EQ(thermostat->highThreshold(), 200);
    EXPECT_EQ(thermostat->mode(), VirtualThermostat::ModeB);
    EXPECT_EQ(thermostat->lastBootStatusWritten(), 200);
    EXPECT_EQ(thermostat->lastBootValueWritten(), 201);

    now += 500;
    w.readCycle();

    EXPECT_EQ(w.Txt_t1_uniter_recev->text(), QStringLiteral("TL <  -  12.5 °C"));
    EXPECT_EQ(w.Txt_t2_uniter_recev->text(), QStringLiteral("TH >  + 20 °C"));
    EXPECT_EQ(w.Text_Mode_relais->text(), QStringLiteral("    Mode choisi : B"));
    // Sending changed nothing of the entry: the same settings can go again.
    EXPECT_EQ(w.Text_t1_value->text(), QStringLiteral("12"));
    EXPECT_EQ(w.entryController().Signe_t1(), QStringLiteral("-"));

    // For a person to look at: the entered values, the mode B picture and
    // the values read back.
    const QString screens = QStringLiteral(CALIDOR_BUILD_DIR "/screens");
    ASSERT_TRUE(QDir().mkpath(screens));
    EXPECT_TRUE(w.grab().save(screens + QStringLiteral("/entry_configuration_mode_b.png")));
}

TEST_F(ConfigurationEndToEnd, RefusedPairLeavesTheThermostatAlone)
{
    Form_main &w = *window;
    const int before = thermostat->outputReportsAccepted();

    // "55" with tenths "5" under "+", then "-": the fields hold -55.5.
    choose(w.Combo_t1_signe, QStringLiteral("+"));
    QTest::keyClicks(w.Text_t1_value, QStringLiteral("55"));
    QTest::keyClicks(w.Text_t1_dixieme, QStringLiteral("5"));
    choose(w.Combo_t1_signe, QStringLiteral("-"));
    choose(w.Combo_t2_signe, QStringLiteral("+"));
    QTest::keyClicks(w.Text_t2_value, QStringLiteral("20"));
    QTest::keyClicks(w.Text_t2_dixieme, QStringLiteral("0"));
    ASSERT_FALSE(w.SendRptsBtn->isHidden());

    QTest::mouseClick(w.SendRptsBtn, Qt::LeftButton);

    EXPECT_EQ(doubles.messageBoxes->texts(),
              QStringList{QStringLiteral(
                  "Merci de configurer le thermostat avec des valeurs comprises entre -55 et +125 ° C !!!")});
    EXPECT_EQ(thermostat->outputReportsAccepted(), before);
    EXPECT_EQ(w.Text7->text(), QStringLiteral("Debug send"));
    EXPECT_EQ(w.Text8->text(), QStringLiteral("Debug send"));
}
