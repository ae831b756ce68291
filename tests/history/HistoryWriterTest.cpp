#include "HistoryWriter.h"

#include "HistoryTestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <sys/resource.h>

namespace {

// Lines the writer told, from its thread.
struct Notices
{
    std::mutex mutex;
    QStringList lines;
    HistoryWriter::Notice notice()
    {
        return [this](const QString &line) {
            const std::lock_guard<std::mutex> lock(mutex);
            lines << line;
        };
    }
    int count(const QString &part)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return int(lines.filter(part).size());
    }
};

MinuteAggregator::Output minutes(std::int64_t from, int count)
{
    MinuteAggregator::Output out;
    for (int i = 0; i < count; ++i)
        out.minutes.push_back(minuteAt(QStringLiteral("W1"), from + 60 * i, 200));
    return out;
}

std::string countMinutes(const QString &path)
{
    return sqliteAnswer(path, "SELECT count(*) FROM minute");
}

TEST(HistoryWriterTest, WritesAtEachFlushAndAtStop)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    Notices notices;
    HistoryWriter writer({path, std::chrono::milliseconds(3600000), 400, {}}, notices.notice());
    writer.start();
    writer.submit(minutes(0, 10));
    writer.flushNow();
    EXPECT_EQ(countMinutes(path), "10");
    writer.submit(minutes(600, 5));
    EXPECT_EQ(countMinutes(path), "10"); // not before the next flush
    writer.stop();
    EXPECT_EQ(countMinutes(path), "15");
    EXPECT_EQ(notices.count({}), 0);
}

// The alert state does not wait for the hourly flush; the latest wins.
TEST(HistoryWriterTest, WritesTheAlertStateAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    Notices notices;
    HistoryWriter writer({path, std::chrono::milliseconds(3600000), 400, {}}, notices.notice());
    writer.start();
    writer.submit(minutes(0, 3));
    writer.saveAlertState(R"({"n":1})");
    writer.saveAlertState(R"({"n":2})");
    const auto kept = [&] { return sqliteAnswer(path, "SELECT state FROM alert_state"); };
    for (int i = 0; i < 100 && kept() != R"({"n":2})"; ++i)
        QThread::msleep(20);
    EXPECT_EQ(kept(), R"({"n":2})");
    EXPECT_EQ(countMinutes(path), "0"); // the minutes wait for their flush
    writer.stop();
    EXPECT_EQ(countMinutes(path), "3");
    EXPECT_EQ(notices.count({}), 0);
}

// A full disk without mounting one: past RLIMIT_FSIZE a write fails with
// EFBIG once SIGXFSZ is ignored.
TEST(HistoryWriterTest, AFullDiskIsToldOnceAndTheRowsWaitInMemoryUntilThereIsRoom)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    Notices notices;
    HistoryWriter writer({path, std::chrono::milliseconds(3600000), 400, {}}, notices.notice());
    writer.start();
    writer.submit(minutes(0, 10));
    writer.flushNow();
    ASSERT_EQ(countMinutes(path), "10");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const qint64 largest = std::max(QFileInfo(path).size(), QFileInfo(path + QStringLiteral("-wal")).size());
    rlimit full = saved;
    full.rlim_cur = rlim_t(largest);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    for (int round = 0; round < 3; ++round) {
        writer.submit(minutes(600 + round * 60000, 1000));
        writer.flushNow();
        EXPECT_TRUE(writer.stats().failing);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(notices.count(QStringLiteral("cannot write")), 1) << notices.lines.join('\n').toStdString();
    EXPECT_EQ(writer.stats().waitingMinutes, 3000u);
    EXPECT_EQ(countMinutes(path), "10");

    writer.flushNow();
    EXPECT_FALSE(writer.stats().failing);
    EXPECT_EQ(notices.count(QStringLiteral("waiting minutes written")), 1)
        << notices.lines.join('\n').toStdString();
    EXPECT_EQ(countMinutes(path), "3010");
    EXPECT_EQ(sqliteAnswer(path, "PRAGMA integrity_check"), "ok");
}

// Killed at 50 random moments while it writes, a writer leaves a file that
// passes its check and holds every minute it had flushed.
TEST(HistoryWriterTest, SurvivesBeingKilledAtRandomMomentsWhileWriting)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> wait(30, 300);
    std::vector<std::pair<std::int64_t, std::int64_t>> flushed; // first minute, last flushed minute
    for (int run = 0; run < 50; ++run) {
        const std::int64_t first = std::int64_t(run) * 6000000;
        QProcess probe;
        probe.start(QStringLiteral(HISTORY_WRITER_PROBE),
                    {path, QStringLiteral("5"), QString::number(first)});
        ASSERT_TRUE(probe.waitForStarted()) << probe.errorString().toStdString();
        // The random wait starts at its first flush, however slowly it
        // started (an emulator takes its time): every kill lands while it writes.
        ASSERT_TRUE(probe.waitForReadyRead(30000)) << "run " << run;
        QThread::msleep(static_cast<unsigned long>(wait(random)));
        probe.kill(); // SIGKILL
        ASSERT_TRUE(probe.waitForFinished(10000));
        const QList<QByteArray> lines = probe.readAllStandardOutput().split('\n');
        std::int64_t last = first - 60;
        for (const QByteArray &line : lines)
            if (line.startsWith("flushed "))
                last = line.mid(8).toLongLong();
        flushed.emplace_back(first, last);
        ASSERT_EQ(sqliteAnswer(path, "PRAGMA integrity_check"), "ok") << "run " << run << ", seed " << seed;
        for (const auto &[from, to] : flushed) {
            const std::string sql = "SELECT count(*) FROM minutes WHERE t BETWEEN " + std::to_string(from) +
                                    " AND " + std::to_string(to);
            ASSERT_EQ(sqliteAnswer(path, sql.c_str()), std::to_string(2 * ((to - from) / 60 + 1)))
                << "run " << run << ", seed " << seed << ", minutes " << from << ".." << to;
        }
    }
}

} // namespace
