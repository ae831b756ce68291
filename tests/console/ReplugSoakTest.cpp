// The main window reading continuously while two thermostats and a second
// interface without variables are unplugged and plugged again, many times,
// at random moments against the read ticks and the sends. After every
// settled round the device collection, the log, the status box and what
// went over each wire must be exactly what the events call for.
//
// CALIDOR_SOAK_CYCLES sets the number of unplugs (1000 by default) for long
// runs; the seed is fixed, so a failure names the step that reproduces it.
#include "Form_main.h"
#include "HidAgent.h"
#include "ScriptedPlatform.h"
#include "TOneHidVar.h"
#include "TSoftDet.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

int soakCycles()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("CALIDOR_SOAK_CYCLES", &ok);
    return ok && n > 0 ? n : 1000;
}

QString number(std::int64_t k)
{
    return k < 0 ? QString::number(k) : QStringLiteral(" ") + QString::number(k);
}

// Lines as one readable text, for the failure messages.
std::string text(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n')).toStdString();
}

QStringList logLines(const QString &text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// One interface as the component lists it, from its opening to its close.
struct Intf
{
    struct Port *port = nullptr;
    QString name;
    std::int32_t handle = 0;
    bool unplugged = false; // pulled out of the bus
    bool gone = false;      // the component knows; its close is queued
};

// One device on the virtual bus, plugged and unplugged again and again.
struct Port
{
    std::shared_ptr<VirtualThermostat> device;
    bool thermostat = true;
    QString path; // empty while unplugged
    std::shared_ptr<Intf> live;
    int reads = 0;  // input reports it must have sent
    int writes = 0; // output reports it must have taken
};

class ReplugSoak : public ::testing::Test
{
protected:
    // Entered once; every send writes these.
    static constexpr int Low = 185;
    static constexpr int High = 220;

    void SetUp() override
    {
        for (int k = 0; k < 2; ++k) {
            auto port = std::make_unique<Port>();
            port->device = std::make_shared<VirtualThermostat>([] { return std::int64_t{0}; });
            port->device->setBootStatus(k + 1); // tells the two apart in the log
            ports.push_back(std::move(port));
        }
        // A second interface of the same USB device: the thermostat's ids,
        // none of its variables. It must never become a device object.
        auto extra = std::make_unique<Port>();
        extra->thermostat = false;
        extra->device = std::make_shared<VirtualThermostat>([] { return std::int64_t{0}; });
        extra->device->setIdentity(VirtualThermostat::VendorId, VirtualThermostat::ProductId,
                                   QStringLiteral("Calidor QN52-W, second interface"));
        extra->device->setReportDescriptor({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0});
        ports.push_back(std::move(extra));
        plug(*ports[0], false);
        window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent);
        ASSERT_TRUE(window->load());
        open.push_back(ports[0]->live);
        open.back()->handle = agent->SelectOpenIntf(0);
        header = logLines(window->resultsText()).value(0);
        // The test makes the ticks itself; the timer's running state still
        // says whether continuous reading is on.
        window->Timer1->setInterval(24 * 3600 * 1000);
        continuous = true;
        window->show();
        enterConfiguration();
        expected.clear();
        tick();
        check(0);
    }

    void enterConfiguration()
    {
        Form_main &w = *window;
        const auto choose = [](QComboBox *list, const QString &item) {
            list->setCurrentIndex(list->findText(item));
            emit list->activated(list->currentIndex());
        };
        const auto type = [](QLineEdit *field, int value) {
            QTest::mouseClick(field, Qt::LeftButton);
            QTest::keyClicks(field, QString::number(value));
        };
        choose(w.Combo_t1_signe, QStringLiteral("+"));
        type(w.Text_t1_value, Low / 10);
        type(w.Text_t1_dixieme, Low % 10);
        choose(w.Combo_t2_signe, QStringLiteral("+"));
        type(w.Text_t2_value, High / 10);
        type(w.Text_t2_dixieme, High % 10);
        ASSERT_FALSE(w.SendRptsBtn->isHidden());
    }

    std::vector<std::shared_ptr<Intf>> openThermostats() const
    {
        std::vector<std::shared_ptr<Intf>> out;
        for (const auto &i : open)
            if (i->port->thermostat)
                out.push_back(i);
        return out;
    }

    int pluggedCount() const
    {
        int n = 0;
        for (const auto &p : ports)
            n += p->path.isEmpty() ? 0 : 1;
        return n;
    }

    void markGone(const std::shared_ptr<Intf> &i)
    {
        if (!i->gone) {
            i->gone = true;
            closing.push_back(i);
        }
    }

    void plug(Port &p, bool logged = true)
    {
        p.path = transport->plug(p.device);
        history << QStringLiteral("plug ") + p.path;
        auto i = std::make_shared<Intf>();
        i->port = &p;
        i->name = p.device->productName() + QStringLiteral(" (") + p.path + QLatin1Char(')');
        p.live = i;
        if (!logged)
            return; // before the window: its start opens the thermostat
        expected << QStringLiteral("+ + + ") + i->name + QStringLiteral(" has just been CONNECTED. + + +")
                 << QStringLiteral("(There are now ") + number(pluggedCount()) +
                        QStringLiteral(" HID interfaces connected)");
        status += i->name + QStringLiteral(" CONNECTED ");
        open.push_back(i);
        expected << QStringLiteral("+ + + ") + i->name + QStringLiteral(" has just been OPENED. + + +")
                 << QStringLiteral("(There are now ") + number(static_cast<int>(open.size())) +
                        QStringLiteral(" HID interfaces open)");
        ASSERT_EQ(agent->OpenIntfCount(), static_cast<int>(open.size()));
        i->handle = agent->SelectOpenIntf(agent->OpenIntfCount() - 1);
    }

    void unplug(Port &p, bool announce)
    {
        const std::shared_ptr<Intf> i = p.live;
        history << (announce ? QStringLiteral("unplug ") : QStringLiteral("silent unplug ")) + p.path;
        ASSERT_TRUE(transport->unplug(p.path, announce));
        p.path.clear();
        p.live.reset();
        i->unplugged = true;
        if (!announce)
            return; // only a transfer will find out
        expected << QStringLiteral("+ + + ") + i->name + QStringLiteral(" has just been DISCONNECTED. + + +")
                 << QStringLiteral("(There are now ") + number(pluggedCount()) +
                        QStringLiteral(" HID interfaces connected)");
        markGone(i);
    }

    void tick()
    {
        ASSERT_EQ(window->Timer1->isActive(), continuous);
        if (!continuous)
            return;
        QMetaObject::invokeMethod(window->Timer1, "timeout");
        history << QStringLiteral("tick");
        expected.clear();
        int position = 0;
        for (const auto &i : openThermostats()) {
            ++position;
            expected << QString() << QStringLiteral("Device #") + number(position) + QLatin1Char(':');
            if (i->unplugged) {
                expected << QStringLiteral("+ + + Unable to read from device") + number(position) +
                                QStringLiteral("! + + +");
                markGone(i);
                continue;
            }
            const VirtualThermostat &d = *i->port->device;
            ++i->port->reads;
            const auto line = [](const char *name, int raw) {
                return QStringLiteral("  ") + QLatin1String(name) + QLatin1Char(' ') + number(raw);
            };
            expected << line("InTempVar", static_cast<std::uint16_t>(d.temperature()))
                     << line("InTempLowVar", static_cast<std::uint16_t>(d.lowThreshold()))
                     << line("InTempHighVar", static_cast<std::uint16_t>(d.highThreshold()))
                     << line("InTempSwitchVar", d.relayState()) << line("InModeStatus", d.mode())
                     << line("InBootStatus", d.bootStatus()) << line("InSondeStatus", d.probeStatus());
        }
    }

    void send()
    {
        window->SendRptsBtn->click();
        history << QStringLiteral("send");
        const auto wrote = [](const char *name, int value) {
            return QStringLiteral("  Wrote to device: ") + QLatin1String(name) + QStringLiteral(" = 0x") +
                   QString::number(value, 16).toUpper();
        };
        int position = 0;
        for (const auto &i : openThermostats()) {
            ++position;
            expected << QString() << wrote("OutTempLowVar", Low) << wrote("OutTempHighVar", High)
                     << wrote("OutModeRelayVar", VirtualThermostat::ModeA) << wrote("OutBootStatus", 200)
                     << wrote("OutBootVar", 201);
            if (i->unplugged) {
                expected << QStringLiteral("+ + + Unable to send to device") + number(position) +
                                QStringLiteral("! + + +");
                markGone(i);
            } else {
                expected << QStringLiteral("  Successfully wrote to device");
                ++i->port->writes;
            }
        }
    }

    // Lets the component close what it found gone; an interface pulled out
    // silently is found by the next read, so reading is switched back on
    // for it as the user would.
    void settle()
    {
        for (int round = 0; round < 2; ++round) {
            QCoreApplication::processEvents();
            history << QStringLiteral("settle");
            while (!closing.empty()) {
                const std::shared_ptr<Intf> i = closing.front();
                closing.pop_front();
                std::erase(open, i);
                expected << QStringLiteral("+ + + ") + i->name + QStringLiteral("  (handle = 0x") +
                                QString::number(i->handle, 16).toUpper() +
                                QStringLiteral(")  has just been CLOSED. + + + ")
                         << QStringLiteral("(There are now ") + number(static_cast<int>(open.size())) +
                                QStringLiteral(" HID interfaces open)");
                if (i->port->thermostat)
                    continuous = false;
            }
            const bool unnoticed =
                std::any_of(open.begin(), open.end(), [](const auto &i) { return i->unplugged; });
            if (!unnoticed)
                return;
            resumeReading();
            tick();
        }
    }

    void resumeReading()
    {
        if (!continuous) {
            window->ContinuousCB->setChecked(true);
            continuous = true;
        }
    }

    void check(int step)
    {
        SCOPED_TRACE(testing::Message() << "step " << step << ", last events:\n"
                                        << text(history.mid(history.size() - 12)));
        const auto thermostats = openThermostats();
        int plugged = 0;
        for (const auto &p : ports)
            plugged += p->thermostat && !p->path.isEmpty() ? 1 : 0;
        ASSERT_EQ(static_cast<int>(thermostats.size()), plugged);
        ASSERT_EQ(window->Devices().size(), thermostats.size());
        for (std::size_t k = 0; k < thermostats.size(); ++k)
            ASSERT_EQ(window->Devices()[k]->InTempVar()->HidHandle(), thermostats[k]->handle)
                << "device " << k + 1;
        const QStringList lines = logLines(window->resultsText());
        ASSERT_FALSE(lines.isEmpty());
        ASSERT_EQ(lines.first(), header);
        ASSERT_EQ(text(lines.mid(1)), text(expected));
        ASSERT_EQ(text({window->statusText()}), text({status}));
        ASSERT_EQ(window->Timer1->isActive(), continuous);
        for (const auto &p : ports) {
            ASSERT_EQ(p->device->inputReportsSent(), p->reads);
            ASSERT_EQ(p->device->outputReportsAccepted(), p->writes);
        }
    }

    PlatformDoubles doubles;
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<HidAgent> agent = std::make_shared<HidAgent>(transport);
    std::unique_ptr<Form_main> window;
    std::vector<std::unique_ptr<Port>> ports;

    // What the test expects: the component's open interfaces in its order,
    // the closes it has queued, the log after its header, the status box.
    std::vector<std::shared_ptr<Intf>> open;
    std::deque<std::shared_ptr<Intf>> closing;
    QString header;
    QStringList expected;
    QString status;
    bool continuous = false;
    QStringList history; // what the test did, for the failure messages
};

TEST_F(ReplugSoak, EveryEventLeavesDevicesLogAndWiresConsistent)
{
    std::mt19937 random(20240613);
    const int cycles = soakCycles();
    int unplugs = 0;
    int step = 0;
    while (unplugs < cycles && !HasFailure()) {
        ++step;
        const unsigned pick = random() % 100;
        if (pick < 35) {
            Port &p = *ports[random() % ports.size()];
            if (p.path.isEmpty()) {
                plug(p);
            } else {
                unplug(p, random() % 5 != 0);
                ++unplugs;
            }
        } else if (pick < 65) {
            tick();
        } else if (pick < 72) {
            send();
        } else {
            settle();
            check(step);
            resumeReading();
        }
    }
    settle();
    check(step);
    std::printf("%d unplugs in %d steps\n", unplugs, step);
}

} // namespace
