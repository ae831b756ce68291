#pragma once

#include "Beeper.h"
#include "CommonDialogs.h"
#include "HelpViewer.h"
#include "MessageBoxes.h"
#include "Platform.h"
#include "RegionalSettings.h"
#include "ShellOpen.h"
#include "TextPrinter.h"

#include <QDate>
#include <memory>

// Desktop services that never show anything: nothing the benchmarks run asks
// for them except the separator and the date.
struct Quiet : MessageBoxes, Beeper, CommonDialogs, TextPrinter, HelpViewer, ShellOpen, RegionalSettings
{
    void message(const QString &) override {}
    Answer askOkCancel(const QString &) override { return Answer::Cancel; }
    void beep() override {}
    std::optional<QString> askSaveFileName(const QString &, int) override { return std::nullopt; }
    std::optional<int> askPrintCopies() override { return std::nullopt; }
    bool printText(const QString &, int) override { return true; }
    bool showContents(const QString &) override { return true; }
    bool openUrl(const QUrl &) override { return true; }
    QChar decimalSeparator() const override { return QLatin1Char(','); }
    QString shortDate(const QDate &d) const override { return d.toString(QStringLiteral("dd/MM/yyyy")); }
};

inline Platform quietPlatform()
{
    const auto quiet = std::make_shared<Quiet>();
    Platform p;
    p.messageBoxes = quiet;
    p.beeper = quiet;
    p.dialogs = quiet;
    p.printer = quiet;
    p.help = quiet;
    p.shell = quiet;
    p.regional = quiet;
    return p;
}
