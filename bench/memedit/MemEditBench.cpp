// Timings of the memory image editors: both dumps built at start-up, one
// typed digit in the model, and, for comparison in the same run, the same
// start-up built the naive way (one rich-text insertion per segment into a
// text edit). Prints medians; targets are 20 ms and 20 us.
#include "Fichiers.h"
#include "MemoryEditors.h"

#include <QApplication>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double medianMicroseconds(int runs, const std::function<void()> &body)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        body();
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::nth_element(samples.begin(), samples.begin() + runs / 2, samples.end());
    return samples[static_cast<std::size_t>(runs / 2)];
}

// The segments of one dump line in order, as the start-up writes them.
void naiveLine(QTextCursor &cursor, int n, int addressDigits, const QString &emptyData, bool last)
{
    QTextCharFormat black, separator;
    black.setForeground(QColor(0, 0, 0));
    separator.setForeground(QColor(1, 0, 0));
    cursor.insertText(QStringLiteral("%1 :").arg(8 * n, addressDigits, 16, QLatin1Char('0')).toUpper(),
                      black);
    cursor.insertText(emptyData, black);
    cursor.insertText(QStringLiteral(" :"), separator);
    cursor.insertText(QStringLiteral(" ........"), black);
    if (!last)
        cursor.insertText(QStringLiteral("\r\n"), black);
}

void naiveStartUp(QTextEdit &flash, QTextEdit &eeprom)
{
    const QString flashData = QStringLiteral(" ---- ---- ---- ---- ---- ---- ---- ----");
    const QString eepromData = QStringLiteral(" -- -- -- -- -- -- -- --");
    for (auto [view, lines, digits, data] :
         {std::tuple{&flash, 1024, 4, flashData}, std::tuple{&eeprom, 32, 2, eepromData}}) {
        view->setEnabled(false);
        view->clear();
        QTextCursor cursor(view->document());
        cursor.movePosition(QTextCursor::End);
        for (int n = 0; n < lines; ++n)
            naiveLine(cursor, n, digits, data, n == lines - 1);
        view->setEnabled(true);
        view->setTextCursor(QTextCursor(view->document()));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    MemoryEditors editors;
    const double startUp = medianMicroseconds(31, [&] { editors.StartUp(); });

    // One digit typed into a word, with the caret walking through the dump.
    editors.StartUp();
    editors.Rt1_GotFocus();
    std::vector<double> digitSamples;
    const int digits = 50000;
    digitSamples.reserve(digits);
    for (int i = 0; i < digits; ++i) {
        if (editors.Rt1().caret() > editors.Rt1().length() - 200) {
            editors.Rt1().setCaret(0);
            editors.Rt1_Click();
        }
        int key = "0123456789ABCDEF"[i % 16];
        const auto start = Clock::now();
        editors.Rt1_KeyPress(key);
        digitSamples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::nth_element(digitSamples.begin(), digitSamples.begin() + digits / 2, digitSamples.end());
    const double digit = digitSamples[digits / 2];

    QTextEdit flash, eeprom;
    const double naive = medianMicroseconds(5, [&] { naiveStartUp(flash, eeprom); });
    // The rich-text document keeps each CR LF as one paragraph break, which
    // is why the model holds the text itself.
    std::printf("naive program-memory document: %d characters (model: %d)\n",
                flash.document()->characterCount() - 1, editors.Rt1().length());

    std::printf("memedit start-up, both dumps built   median %10.1f us   (target < 20000 us)\n", startUp);
    std::printf("memedit one typed digit in the model median %10.2f us   (target < 20 us)\n", digit);
    std::printf("naive start-up, one insertion/segment median %10.1f us\n", naive);
    std::printf("naive / model start-up ratio                  %10.1f x\n", naive / startUp);
    return 0;
}
