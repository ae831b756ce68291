#include "SetCommand.h"

#include "ConfigSender.h"
#include "ThermoFormat.h"
#include "ThresholdEntry.h"
#include "ValueParser.h"

#include <QThread>
#include <cstdlib>

using ValueParser::celsiusText;

namespace {

QString modeName(std::int16_t code)
{
    return code == static_cast<std::int16_t>(ThresholdEntry::RelayMode::B) ? QStringLiteral("B")
                                                                           : QStringLiteral("A");
}

QString bytesText(const std::vector<std::uint8_t> &bytes)
{
    QStringList hex;
    for (std::uint8_t b : bytes)
        hex << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return hex.join(QLatin1Char(' '));
}

} // namespace

ThermostatLink::Failure SetCommand::parse(const Request &options, Values *values)
{
    const auto temperature = [](const char *name, const std::optional<QString> &text,
                                std::optional<std::int64_t> *code) -> ThermostatLink::Failure {
        if (!text)
            return {};
        const auto parsed = ValueParser::celsius(*text);
        if (!parsed.value)
            return {ExitCode::Refused, QStringLiteral("--%1: %2").arg(QLatin1String(name), parsed.error)};
        *code = parsed.value->code;
        return {};
    };
    if (auto refused = temperature("tl", options.tl, &values->low))
        return refused;
    if (auto refused = temperature("th", options.th, &values->high))
        return refused;
    if (options.mode) {
        const auto parsed = ValueParser::relayMode(*options.mode);
        if (!parsed.value)
            return {ExitCode::Refused, QStringLiteral("--mode: %1").arg(parsed.error)};
        values->mode = *parsed.value;
    }
    return {};
}

ThermostatLink::Failure SetCommand::plan(const Values &values, const Reading &current, Plan *plan)
{
    plan->low = static_cast<std::int32_t>(values.low.value_or(current.low));
    plan->high = static_cast<std::int32_t>(values.high.value_or(current.high));
    if (values.mode)
        plan->mode = *values.mode;
    else if (current.mode == 'B')
        plan->mode = static_cast<std::int16_t>(ThresholdEntry::RelayMode::B);
    else // unknown counts as the default mode, A
        plan->mode = static_cast<std::int16_t>(ThresholdEntry::RelayMode::A);

    // The window's checking table decides; its French messages are for the window.
    const auto sign = [](std::int32_t code) {
        return code < 0 ? ThresholdEntry::kMinus : ThresholdEntry::kPlus;
    };
    const auto magnitude = [](std::int32_t code) { return std::abs(code) / 10.0; };
    if (ConfigSender::checkPair(sign(plan->low), magnitude(plan->low), sign(plan->high),
                                magnitude(plan->high))
            .stop)
        return {ExitCode::Refused, QStringLiteral("TL (%1 °C) must be strictly below TH (%2 °C)")
                                       .arg(celsiusText(plan->low), celsiusText(plan->high))};
    return {};
}

QStringList SetCommand::differences(const Plan &plan, const Reading &readBack)
{
    QStringList out;
    if (readBack.low != plan.low)
        out << QStringLiteral("TL reads back %1 °C instead of %2 °C")
                   .arg(celsiusText(readBack.low), celsiusText(plan.low));
    if (readBack.high != plan.high)
        out << QStringLiteral("TH reads back %1 °C instead of %2 °C")
                   .arg(celsiusText(readBack.high), celsiusText(plan.high));
    const QString mode = modeName(plan.mode);
    if (readBack.modeText() != mode)
        out << QStringLiteral("mode reads back %1 instead of %2")
                   .arg(readBack.mode ? readBack.modeText() : QStringLiteral("unknown"), mode);
    return out;
}

QString SetCommand::summary(const Plan &plan)
{
    return QStringLiteral("TL %1 °C, TH %2 °C, mode %3")
        .arg(celsiusText(plan.low), celsiusText(plan.high), modeName(plan.mode));
}

ThermostatLink::Failure SetCommand::planNow(ThermostatLink &link, const Values &values, Plan *wanted,
                                            std::optional<Reading> *current)
{
    ThermostatLink::Failure failure;
    *current = link.read(&failure);
    if (!*current)
        return failure;
    return plan(values, **current, wanted);
}

ThermostatLink::Failure SetCommand::apply(ThermostatLink &link, const Values &values, bool skipUnchanged,
                                          Plan *wanted, bool *written)
{
    *written = false;
    std::optional<Reading> current;
    if (auto refused = planNow(link, values, wanted, &current))
        return refused;
    // Settings live in the thermostat's non-volatile memory: no needless write.
    if (skipUnchanged && differences(*wanted, *current).isEmpty())
        return {};

    if (auto failed = link.write(wanted->low, wanted->high, wanted->mode))
        return failed;
    *written = true;

    QStringList differ;
    ThermostatLink::Failure failure;
    for (int attempt = 0; attempt < kReadBackAttempts; ++attempt) {
        if (attempt > 0)
            QThread::msleep(kReadBackPauseMs);
        const std::optional<Reading> back = link.read(&failure);
        if (!back)
            return {ExitCode::Device, QStringLiteral("written, but reading back failed: ") + failure.message};
        differ = differences(*wanted, *back);
        if (differ.isEmpty())
            return {};
    }
    return {ExitCode::Device, QStringLiteral("written, but %1").arg(differ.join(QStringLiteral("; ")))};
}

ThermostatLink::Failure SetCommand::run(QString *out)
{
    Values values;
    if (auto refused = parse(m_options, &values))
        return refused;
    if (auto failed = m_link.open(m_options.device))
        return failed;

    Plan wanted;
    if (!m_options.dryRun) {
        if (m_beforeWriting)
            m_beforeWriting(m_link.id());
        bool written = false;
        if (auto failed = apply(m_link, values, false, &wanted, &written))
            return failed;
        *out += QStringLiteral("%1 written to %2 and read back\n").arg(summary(wanted), m_link.device());
        return {};
    }

    std::optional<Reading> current;
    if (auto refused = planNow(m_link, values, &wanted, &current))
        return refused;
    QString lines;
    const auto listed = [&lines](const char *name, std::int32_t value) {
        lines += QStringLiteral("  %1 = 0x%2\n").arg(QLatin1String(name), -15).arg(ThermoFormat::hex(value));
    };
    m_link.holdWrites(true);
    const ThermostatLink::Failure held = m_link.write(wanted.low, wanted.high, wanted.mode, listed);
    m_link.holdWrites(false);
    if (held)
        return held;
    *out += QStringLiteral("would write %1 to %2:\n").arg(summary(wanted), m_link.device()) + lines;
    for (const auto &report : m_link.heldWrites())
        *out += QStringLiteral("report B bytes: %1\n").arg(bytesText(report));
    *out += QStringLiteral("nothing written (--dry-run)\n");
    return {};
}
