#include "QtHelpViewer.h"
#include "QtShellOpen.h"
#include "RecordingShellOpen.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Stands in for the desktop: QDesktopServices hands it every URL of the
// schemes it is registered for, so nothing is really launched.
class DesktopRecorder : public QObject
{
    Q_OBJECT
public:
    DesktopRecorder()
    {
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~DesktopRecorder() override
    {
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    std::vector<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.push_back(url); }
};

// --- One suite for both shell-open implementations -------------------------

struct QtShellFixture
{
    DesktopRecorder desktop;
    QtShellOpen shell;
    const std::vector<QUrl> &opened() const { return desktop.urls; }
};

struct RecordingShellFixture
{
    RecordingShellOpen shell;
    const std::vector<QUrl> &opened() const { return shell.urls(); }
};

template <typename F> class ShellOpenContract : public ::testing::Test
{
protected:
    F f;
};

using ShellFixtures = ::testing::Types<QtShellFixture, RecordingShellFixture>;
TYPED_TEST_SUITE(ShellOpenContract, ShellFixtures);

TYPED_TEST(ShellOpenContract, OpensTheWebAddressExactlyOnce)
{
    const QUrl url(QStringLiteral("http://www.velmora.example/"));
    EXPECT_TRUE(this->f.shell.openUrl(url));
    ASSERT_EQ(this->f.opened().size(), 1u);
    EXPECT_EQ(this->f.opened().front(), url);
}

// --- The real one only opens web addresses ----------------------------------

TEST(QtShellOpen, RefusesWhatIsNotAWebAddress)
{
    DesktopRecorder desktop;
    QtShellOpen shell;
    for (const char *text : {"file:///bin/sh", "javascript:alert(1)", "", "ftp://example.com/x"})
        EXPECT_FALSE(shell.openUrl(QUrl(QString::fromLatin1(text)))) << text;
    EXPECT_TRUE(desktop.urls.empty());
    EXPECT_TRUE(shell.openUrl(QUrl(QStringLiteral("https://www.velmora.example/x"))));
    EXPECT_EQ(desktop.urls.size(), 1u);
}

// --- Help viewer ------------------------------------------------------------

TEST(QtHelpViewer, MissingFileIsReportedAndNothingOpens)
{
    DesktopRecorder desktop;
    QTemporaryDir dir;
    QtHelpViewer help;
    EXPECT_FALSE(help.showContents(dir.filePath(QStringLiteral("VaViduV.html"))));
    EXPECT_FALSE(help.showContents(QString()));
    EXPECT_FALSE(help.showContents(dir.path())); // a folder is no document
    EXPECT_TRUE(desktop.urls.empty());
}

TEST(QtHelpViewer, ExistingFileOpensAsLocalFileUrl)
{
    DesktopRecorder desktop;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VaViduV.html"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
    file.close();

    QtHelpViewer help;
    EXPECT_TRUE(help.showContents(path));
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_TRUE(desktop.urls.front().isLocalFile());
    EXPECT_EQ(QDir::cleanPath(desktop.urls.front().toLocalFile()), QDir::cleanPath(path));
}

#include "UrlOpeningTest.moc"
