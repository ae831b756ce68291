#include "AppInfo.h"
#include "FormMainFixture.h"
#include "QtTextPrinter.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class ResultsButtons : public FormMainTest
{
protected:
    void SetUp() override
    {
        loadWithThermostat();
        window->ContinuousCB->setChecked(false);
        window->ClearBtn->click();
        header =
            (QStringLiteral("Test results:  ") + doubles.regional->shortDate(QDate::currentDate())).toUtf8();
    }
    QByteArray header;
    QTemporaryDir dir;
};

TEST_F(ResultsButtons, ClearWritesTheDatedHeader)
{
    doubles.regional->setDateFormat(QStringLiteral("yyyy-MM-dd"));
    window->AddToResults(QStringLiteral("a"));
    window->ClearBtn->click();
    EXPECT_EQ(window->resultsText(), QStringLiteral("Test results:  ") +
                                         QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                                         QStringLiteral("\r\n"));
}

TEST_F(ResultsButtons, SaveWritesExactBytes)
{
    const QString path = dir.filePath(QStringLiteral("results.txt"));
    doubles.dialogs->queueSavePath(path);
    window->SaveBtn->click();
    EXPECT_EQ(contents(path), header + "\r\n\r\n");

    window->AddToResults(QStringLiteral("a"));
    window->AddToResults(QStringLiteral("b"));
    doubles.dialogs->queueSavePath(path);
    window->SaveBtn->click();
    EXPECT_EQ(contents(path), header + "\r\na\r\nb\r\n\r\n");
    // Three choices in this order, text files preselected.
    ASSERT_EQ(doubles.dialogs->saveAsks(), 2);
    EXPECT_EQ(doubles.dialogs->saveFilters().first(),
              QStringLiteral("All Files (*.*);;Text Files(*.txt);;Batch Files (*.bat)"));
    EXPECT_EQ(doubles.dialogs->selectedSaveFilters().front(), 1);
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
}

TEST_F(ResultsButtons, CancelledSaveWritesNothing)
{
    doubles.dialogs->queueSaveCancel();
    const QString before = window->resultsText();
    window->SaveBtn->click();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    EXPECT_EQ(window->resultsText(), before);
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
}

TEST_F(ResultsButtons, FailedSaveKeepsTheOldFileAndSaysWhy)
{
    const QString path = dir.filePath(QStringLiteral("results.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("previous log\r\n");
    }
    for (int i = 0; i < 200; ++i)
        window->AddToResults(QStringLiteral("a fairly long line of the results log, number %1").arg(i));
    const QString before = window->resultsText();

    // The file may not grow past a few bytes.
    struct rlimit saved
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    doubles.dialogs->queueSavePath(path);
    window->SaveBtn->click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(contents(path), QByteArray("previous log\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("results.txt")});
    EXPECT_EQ(window->resultsText(), before);
    ASSERT_EQ(doubles.messageBoxes->asked().size(), 1u);
    EXPECT_EQ(doubles.messageBoxes->asked()[0].kind, ScriptedMessageBoxes::Kind::Message);
    EXPECT_EQ(doubles.messageBoxes->asked()[0].text,
              QStringLiteral("Impossible d'enregistrer les résultats dans le fichier :\r\n") + path +
                  QStringLiteral("\r\n\r\nRaison : le fichier dépasse la taille permise."));
}

TEST_F(ResultsButtons, EachCauseOfAFailedSaveIsNamed)
{
    struct Row
    {
        int error; // scripted in the file layer; 0: a real failure
        bool outOfInodes;
        const char *file;
        const char *reason;
    };
    const Row rows[] = {
        {ENOSPC, false, "results.txt", "le disque est plein"},
        {ENOSPC, true, "results.txt", "le disque n'a plus d'entrée de fichier libre"},
        {EROFS, false, "results.txt", "le disque est en lecture seule"},
        {EACCES, false, "results.txt", "vous n'avez pas le droit d'écrire ce fichier dans ce dossier"},
        {0, false, "missing/results.txt", "le dossier n'existe pas"},
    };
    const QString before = window->resultsText();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.reason);
        doubles.messageBoxes->clear();
        const QString path = dir.filePath(QString::fromUtf8(row.file));
        if (row.error != 0)
            doubles.files->failNextSave(row.error, row.outOfInodes);
        doubles.dialogs->queueSavePath(path);
        window->SaveBtn->click();
        EXPECT_EQ(doubles.messageBoxes->texts(),
                  QStringList{QStringLiteral("Impossible d'enregistrer les résultats dans le fichier :\r\n") +
                              path + QStringLiteral("\r\n\r\nRaison : ") + QString::fromUtf8(row.reason) +
                              QLatin1Char('.')});
        EXPECT_TRUE(QDir(dir.path()).isEmpty());
        EXPECT_EQ(window->resultsText(), before);
    }
    // Full or out of inodes: the question goes to the file's own folder.
    EXPECT_EQ(doubles.files->foldersAsked(), QStringList(2, dir.path()));
}

TEST_F(ResultsButtons, PrintHandsTheLogAndCopiesToThePrinter)
{
    window->AddToResults(QStringLiteral("x"));
    doubles.dialogs->queueCopies(3);
    window->PrintBtn->click();
    ASSERT_EQ(doubles.printer->jobs().size(), 1u);
    EXPECT_EQ(doubles.printer->jobs()[0].copies, 3);
    EXPECT_EQ(doubles.printer->jobs()[0].text, window->resultsText() + QStringLiteral("\r\n"));

    doubles.dialogs->queuePrintCancel();
    window->PrintBtn->click();
    EXPECT_EQ(doubles.printer->jobs().size(), 1u);
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
}

TEST_F(ResultsButtons, PrintToPdfWithThreeCopies)
{
    const QString pdf = dir.filePath(QStringLiteral("log.pdf"));
    auto printer = std::make_shared<QtTextPrinter>(pdf);
    doubles.printer.reset();
    Platform platform = scriptedPlatform(doubles);
    platform.printer = printer;
    auto pdfAgent = std::make_shared<ScriptedHidAgent>();
    Form_main w(platform, pdfAgent);
    pdfAgent->plug(QStringLiteral("T"), 0x101);
    ASSERT_TRUE(w.load());
    w.ContinuousCB->setChecked(false);
    w.AddToResults(QStringLiteral("printed line"));

    doubles.dialogs->queueCopies(3);
    w.PrintBtn->click();
    const QByteArray bytes = contents(pdf);
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    const int perCopy = printer->pagesPerCopy(w.resultsText() + QStringLiteral("\r\n"));
    ASSERT_GE(perCopy, 1);
    const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page(?!s)"));
    EXPECT_EQ(QString::fromLatin1(bytes).count(pageObject), 3 * perCopy);
}

TEST_F(ResultsButtons, HelpOpensTheProgramsHelpFile)
{
    window->HelpBtn->click();
    EXPECT_EQ(doubles.help->files(), QStringList{AppInfo::helpFile()});
    // Help stays available while continuous reading runs.
    window->ContinuousCB->setChecked(true);
    EXPECT_TRUE(window->HelpBtn->isEnabled());
}
