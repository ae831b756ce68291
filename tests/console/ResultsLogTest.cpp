#include "ResultsLog.h"

#include "LogFile.h"
#include "MainCommands.h"
#include "MainWindowRules.h"
#include "QtFileLayer.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextDocument>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

} // namespace

TEST(ResultsLog, LinesEndWithCrLfAndEmptyArgumentAddsEmptyLine)
{
    QTextDocument doc;
    ResultsLog log(doc);
    log.reset(QStringLiteral("Test results:  08/12/2026\r\n"));
    log.addLine(QStringLiteral("a"));
    log.addLine(QString());
    log.addLine(QStringLiteral("b"));
    EXPECT_EQ(log.text(), QStringLiteral("Test results:  08/12/2026\r\na\r\n\r\nb\r\n"));
}

TEST(ResultsLog, StatusAppendsWithoutBreak)
{
    QTextDocument doc;
    ResultsLog status(doc);
    status.append(QStringLiteral("x"));
    status.append(QStringLiteral("x"));
    EXPECT_EQ(status.text(), QStringLiteral("xx"));
    status.append(QStringLiteral("dev CONNECTED "));
    EXPECT_EQ(status.text(), QStringLiteral("xxdev CONNECTED "));
}

TEST(ResultsLog, ResetDiscardsEverything)
{
    QTextDocument doc;
    ResultsLog log(doc);
    for (int i = 0; i < 50; ++i)
        log.addLine(QStringLiteral("line %1").arg(i));
    log.reset(QStringLiteral("H\r\n"));
    EXPECT_EQ(log.text(), QStringLiteral("H\r\n"));
}

TEST(ResultsLog, BatchReachesTheDocumentOnceWhenItCloses)
{
    QTextDocument doc;
    ResultsLog log(doc);
    log.reset(QStringLiteral("old\r\n"));
    int edits = 0;
    QObject::connect(&doc, &QTextDocument::contentsChanged, [&] { ++edits; });
    {
        const ResultsLog::Batch batch(log);
        log.reset(QStringLiteral("H\r\n"));
        log.addLine(QString());
        log.addLine(QStringLiteral("Device # 1:"));
        {
            const ResultsLog::Batch inner(log);
            log.addLine(QStringLiteral("  InTempVar  250"));
        }
        EXPECT_EQ(edits, 0);
        EXPECT_EQ(doc.toPlainText(), QStringLiteral("old\n"));
        EXPECT_EQ(log.text(), QStringLiteral("H\r\n\r\nDevice # 1:\r\n  InTempVar  250\r\n"));
    }
    EXPECT_EQ(log.text(), QStringLiteral("H\r\n\r\nDevice # 1:\r\n  InTempVar  250\r\n"));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("H\n\nDevice # 1:\n  InTempVar  250\n"));

    // Without a reset the batch is appended to what is there.
    edits = 0;
    {
        const ResultsLog::Batch batch(log);
        log.addLine(QStringLiteral("a"));
        log.append(QStringLiteral("b"));
        EXPECT_EQ(log.text(), QStringLiteral("H\r\n\r\nDevice # 1:\r\n  InTempVar  250\r\na\r\nb"));
    }
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(log.text(), QStringLiteral("H\r\n\r\nDevice # 1:\r\n  InTempVar  250\r\na\r\nb"));
}

TEST(ResultsLog, TextTypedIntoTheBoxIsPartOfTheLog)
{
    QPlainTextEdit memo;
    ResultsLog log(*memo.document());
    log.reset(QStringLiteral("H\r\n"));
    QTextCursor c(memo.document());
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("typed"));
    log.addLine(QStringLiteral("next"));
    EXPECT_EQ(log.text(), QStringLiteral("H\r\ntypednext\r\n"));
}

TEST(LogFile, WritesLogAndOneMoreLineBreak)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QtFileLayer files;
    ASSERT_EQ(LogFile::save(files, path, QStringLiteral("Test results:  08/12/2026\r\n")), QString());
    EXPECT_EQ(readAll(path), QByteArray("Test results:  08/12/2026\r\n\r\n"));

    // An existing file is replaced without asking.
    ASSERT_EQ(LogFile::save(files, path, QStringLiteral("x\r\n")), QString());
    EXPECT_EQ(readAll(path), QByteArray("x\r\n\r\n"));
}

TEST(LogFile, FailureInAMissingFolderCreatesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/folder/log.txt"));
    QtFileLayer files;
    EXPECT_EQ(LogFile::save(files, path, QStringLiteral("x")), QStringLiteral("le dossier n'existe pas"));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(LogFile, FailurePartWayLeavesTheOldFileIntact)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents\r\n");
    }

    // Limit the size of any file this process writes, so the new log runs
    // out of room after its first bytes, as on a full disk.
    struct rlimit saved
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    QtFileLayer files;
    const QString reason = LogFile::save(files, path, QString(5000, QLatin1Char('y')));

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(reason, QStringLiteral("le fichier dépasse la taille permise"));
    EXPECT_EQ(readAll(path), QByteArray("old contents\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("log.txt")});
}

TEST(MainWindowRules, CaptionJoinsVersionNumbers)
{
    EXPECT_EQ(MainWindowRules::caption(1, 1, 0), QStringLiteral("Calidor QN52-W   Version béta 1.1.0"));
    EXPECT_EQ(MainWindowRules::caption(2, 10, 3), QStringLiteral("Calidor QN52-W   Version béta 2.10.3"));
}

TEST(MainWindowRules, RetryMessageUsesCrLf)
{
    EXPECT_EQ(MainWindowRules::retryMessage(QStringLiteral("Calidor")),
              QStringLiteral("Impossible d'ouvrir le thermostat via le port USB : \r\n\r\nCalidor\r\n\r\n"
                             "Merci de connecter votre thermostat puis cliquez sur OK,\r\n"
                             "sinon cliquer sur Annuler pour quitter l'application"));
}

TEST(MainWindowRules, MemoFollowsWindowSize)
{
    const QSize memo0(7455, 6495);
    const QSize form0(15465, 10800);
    EXPECT_EQ(MainWindowRules::memoSizeFor(memo0, form0, form0), memo0);
    EXPECT_EQ(MainWindowRules::memoSizeFor(memo0, form0, QSize(15465 + 150, 10800 - 300)), QSize(7605, 6195));
    // Sizes the 16-bit rule cannot express leave the memo alone.
    EXPECT_EQ(MainWindowRules::memoSizeFor(memo0, form0, QSize(100, 10800)), std::nullopt);
    EXPECT_EQ(MainWindowRules::memoSizeFor(memo0, form0, QSize(15465, 10800 + 30000)), std::nullopt);
}

TEST(MainCommands, DispatchByKey)
{
    using MainCommands::Command;
    EXPECT_EQ(MainCommands::forKey(QStringLiteral("A")), Command::None);
    EXPECT_EQ(MainCommands::forKey(QStringLiteral("B")), Command::None);
    EXPECT_EQ(MainCommands::forKey(QStringLiteral("C")), Command::WebSite);
    EXPECT_EQ(MainCommands::forKey(QStringLiteral("D")), Command::About);
    EXPECT_EQ(MainCommands::forKey(QStringLiteral("E")), Command::Quit);
    EXPECT_EQ(MainCommands::forKey(QStringLiteral("F")), Command::None);
    EXPECT_EQ(MainCommands::forKey(QString()), Command::None);
}
