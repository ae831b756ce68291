// The textfile collector's file is replaced whole, never written in place.
#include "PrometheusFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(PrometheusFile, EachReplaceLeavesOnlyTheNewContent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("calidor.prom"));
    PrometheusFile file(path);
    ASSERT_TRUE(
        file.replace(QStringLiteral("calidor_up{device=\"a\"} 1\ncalidor_boot_status{device=\"a\"} 0\n")));
    ASSERT_TRUE(file.replace(QStringLiteral("calidor_up{device=\"a\"} 0\n")));
    EXPECT_EQ(contentOf(path), QByteArray("calidor_up{device=\"a\"} 0\n"));
    // No temporary file is left beside it for the collector to pick up.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("calidor.prom")});
}

TEST(PrometheusFile, AFolderThatIsMissingIsReportedAndNothingIsCreated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/calidor.prom"));
    PrometheusFile file(path);
    EXPECT_FALSE(file.replace(QStringLiteral("calidor_up 1\n")));
    EXPECT_FALSE(file.error().isEmpty());
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
