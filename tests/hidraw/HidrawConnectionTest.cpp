#include "HidrawConnection.h"

#include "FakeHidrawTree.h"
#include "HidrawTransport.h"

#include <QCoreApplication>
#include <algorithm>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <thread>

namespace {

// The thermostat's reports carry no ID: 8 data bytes behind a 0 ID byte.
constexpr std::size_t kReportSize = 9;
constexpr int kTimeOutMs = 3000;

Bytes dataReport(std::uint8_t first)
{
    return {first, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, first};
}

Bytes withIdByte(std::uint8_t id, const Bytes &data)
{
    Bytes r(data.size() + 1, id);
    std::copy(data.begin(), data.end(), r.begin() + 1);
    return r;
}

class HidrawConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        node = &tree.addUsbDevice("hidraw0", {});
        QString reason;
        connection = transport.open(tree.nodePath("hidraw0"), &reason);
        ASSERT_NE(connection, nullptr) << reason.toStdString();
    }

    HidIoStatus read(Bytes &report, std::uint8_t id = 0, int timeoutMs = kTimeOutMs)
    {
        report.assign(kReportSize, 0xEE);
        return connection->readInputReport(id, report, timeoutMs);
    }

    FakeHidrawTree tree;
    HidrawTransport transport{tree.options()};
    FakeNode *node = nullptr;
    std::unique_ptr<HidConnection> connection;
};

TEST_F(HidrawConnectionTest, ReadAnswersTheNewestQueuedReportNotTheOldest)
{
    node->send(dataReport(10));
    node->send(dataReport(11));
    node->send(dataReport(12));

    Bytes report;
    ASSERT_EQ(read(report), HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(0, dataReport(12)));
    EXPECT_EQ(node->pendingAtNode(), 0); // the old ones are gone, not left for later reads

    node->send(dataReport(13));
    ASSERT_EQ(read(report), HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(0, dataReport(13)));
}

TEST_F(HidrawConnectionTest, QuietDeviceAnswersItsLastReportInsteadOfTimingOut)
{
    node->send(dataReport(20));
    Bytes report;
    ASSERT_EQ(read(report), HidIoStatus::Ok);

    // Nothing new: the device's state is what it last sent. Waiting for
    // the time-out would end in Timeout, not Ok.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(read(report), HidIoStatus::Ok);
        EXPECT_EQ(report, withIdByte(0, dataReport(20)));
    }
}

TEST_F(HidrawConnectionTest, DeviceThatNeverSentTimesOut)
{
    Bytes report;
    EXPECT_EQ(read(report, 0, 50), HidIoStatus::Timeout);
    EXPECT_EQ(read(report, 0, 0), HidIoStatus::Timeout);
}

TEST_F(HidrawConnectionTest, FirstReportArrivingDuringTheWaitIsAnswered)
{
    std::thread device([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        node->send(dataReport(30), FakeNode::Wait::No);
    });
    Bytes report;
    const HidIoStatus st = read(report);
    device.join();
    ASSERT_EQ(st, HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(0, dataReport(30)));
}

TEST_F(HidrawConnectionTest, NumberedReportsAreKeptApartById)
{
    // With report IDs the ID byte comes from the device itself.
    node->send(withIdByte(1, dataReport(40)));
    node->send(withIdByte(2, dataReport(50)));
    node->send(withIdByte(1, dataReport(41)));
    node->send(withIdByte(2, dataReport(51)));
    node->send(withIdByte(2, dataReport(52)));

    Bytes report(kReportSize);
    ASSERT_EQ(connection->readInputReport(1, report, kTimeOutMs), HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(1, dataReport(41)));
    ASSERT_EQ(connection->readInputReport(2, report, 50), HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(2, dataReport(52)));
    // An ID the device never sent is not answered with another one.
    EXPECT_EQ(connection->readInputReport(3, report, 50), HidIoStatus::Timeout);
}

TEST_F(HidrawConnectionTest, ReportsAreTakenOffTheQueueBetweenReads)
{
    // The kernel's queue is short and keeps the oldest reports when full,
    // so it must not fill up while nobody reads.
    node->send(dataReport(60));
    Bytes report;
    ASSERT_EQ(read(report), HidIoStatus::Ok);

    node->send(dataReport(61));
    node->send(dataReport(62));
    ASSERT_GT(node->pendingAtNode(), 0);
    for (int i = 0; i < 200 && node->pendingAtNode() > 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(node->pendingAtNode(), 0);

    ASSERT_EQ(read(report), HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(0, dataReport(62)));
}

TEST_F(HidrawConnectionTest, WriteSendsTheWholeReportIdByteFirst)
{
    const Bytes unnumbered = withIdByte(0, {0xFE, 0x4C, 0x04, 0xE2, 0x42, 200, 201, 0});
    ASSERT_EQ(connection->writeOutputReport(unnumbered), HidIoStatus::Ok);
    EXPECT_EQ(node->receive(unnumbered.size()), unnumbered);

    const Bytes numbered = withIdByte(2, {0x01, 0x02});
    ASSERT_EQ(connection->writeOutputReport(numbered), HidIoStatus::Ok);
    EXPECT_EQ(node->receive(numbered.size()), numbered);

    EXPECT_EQ(connection->writeOutputReport({}), HidIoStatus::Error);
}

TEST_F(HidrawConnectionTest, FeatureReportsOnANodeWithoutThemFailWithoutClaimingTheDeviceGone)
{
    Bytes feature(4);
    EXPECT_EQ(connection->getFeatureReport(1, feature), HidIoStatus::Error);
    EXPECT_EQ(connection->setFeatureReport({1, 2, 3, 4}), HidIoStatus::Error);
    EXPECT_EQ(connection->setFeatureReport({}), HidIoStatus::Error);

    // Still usable afterwards.
    node->send(dataReport(70));
    Bytes report;
    EXPECT_EQ(read(report), HidIoStatus::Ok);
}

TEST_F(HidrawConnectionTest, UnpluggedDeviceIsGoneForEveryLaterCall)
{
    node->send(dataReport(80));
    Bytes report;
    ASSERT_EQ(read(report), HidIoStatus::Ok);

    tree.remove("hidraw0");
    EXPECT_EQ(read(report), HidIoStatus::Gone);
    EXPECT_EQ(connection->writeOutputReport(withIdByte(0, dataReport(1))), HidIoStatus::Gone);
    EXPECT_EQ(read(report), HidIoStatus::Gone);
    Bytes feature(4);
    EXPECT_EQ(connection->getFeatureReport(0, feature), HidIoStatus::Gone);
    EXPECT_TRUE(static_cast<HidrawConnection &>(*connection).isGone());
}

TEST_F(HidrawConnectionTest, WriteToAnUnpluggedDeviceIsGone)
{
    tree.remove("hidraw0");
    EXPECT_EQ(connection->writeOutputReport(withIdByte(0, dataReport(1))), HidIoStatus::Gone);
}

TEST_F(HidrawConnectionTest, WaitingReadGoesOnAfterASignal)
{
    // A handler installed without SA_RESTART makes poll() fail with EINTR.
    struct sigaction quiet
    {
    };
    quiet.sa_handler = [](int) {};
    struct sigaction previous
    {
    };
    ASSERT_EQ(::sigaction(SIGALRM, &quiet, &previous), 0);
    itimerval every10ms{{0, 10000}, {0, 10000}};
    ASSERT_EQ(::setitimer(ITIMER_REAL, &every10ms, nullptr), 0);

    std::thread device([this] {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm, nullptr); // the signals go to the reading thread
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        node->send(dataReport(90), FakeNode::Wait::No);
    });
    Bytes report;
    const HidIoStatus st = read(report);
    device.join();

    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previous, nullptr);

    ASSERT_EQ(st, HidIoStatus::Ok);
    EXPECT_EQ(report, withIdByte(0, dataReport(90)));
}

} // namespace
