#include "QtTextPrinter.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Page objects in a PDF ("/Type /Page", not the "/Type /Pages" tree).
int pdfPageCount(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QString data = QString::fromLatin1(f.readAll());
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    int n = 0;
    for (auto it = page.globalMatch(data); it.hasNext(); it.next())
        ++n;
    return n;
}

QString logText(int lines)
{
    QString text = QStringLiteral("Test results:  07/03/2024\r\n");
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("  Read from device: InTempVar = %1\r\n").arg(i);
    return text;
}

} // namespace

class QtTextPrinterPdf : public ::testing::TestWithParam<int>
{
protected:
    QTemporaryDir dir;
};

TEST_P(QtTextPrinterPdf, EachCopyPrintsTheWholeText)
{
    ASSERT_TRUE(dir.isValid());
    const int copies = GetParam();
    const QString text = logText(150); // several pages per copy
    const QString one = dir.filePath(QStringLiteral("one.pdf"));
    const QString many = dir.filePath(QStringLiteral("many.pdf"));

    QtTextPrinter single(one);
    const int perCopy = single.pagesPerCopy(text);
    ASSERT_GE(perCopy, 2);
    ASSERT_TRUE(single.printText(text, 1));
    EXPECT_EQ(pdfPageCount(one), perCopy);

    QtTextPrinter printer(many);
    ASSERT_TRUE(printer.printText(text, copies));
    EXPECT_EQ(pdfPageCount(many), copies * perCopy);
}

INSTANTIATE_TEST_SUITE_P(Copies, QtTextPrinterPdf, ::testing::Values(1, 2, 3));

TEST(QtTextPrinter, ShortLogTakesOnePagePerCopy)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("short.pdf"));
    QtTextPrinter printer(pdf);
    ASSERT_TRUE(printer.printText(logText(0), 3));
    EXPECT_EQ(pdfPageCount(pdf), 3);
}

TEST(QtTextPrinter, NoCopiesPrintsNothing)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("none.pdf"));
    QtTextPrinter printer(pdf);
    EXPECT_FALSE(printer.printText(logText(3), 0));
    EXPECT_FALSE(QFile::exists(pdf));
}

TEST(QtTextPrinter, UnwritableOutputIsReportedAsFailure)
{
    QtTextPrinter printer(QStringLiteral("/nonexistent-folder/out.pdf"));
    EXPECT_FALSE(printer.printText(logText(3), 1));
}

TEST(QtTextPrinter, CourierNewResolvesToAFixedPitchFont)
{
    // The log's columns only line up in a fixed-pitch face.
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    EXPECT_TRUE(QFontInfo(font).fixedPitch()) << QFontInfo(font).family().toStdString();
}
