#include "ConfigSender.h"

#include "ConsoleContext.h"
#include "ErrorRecord.h"
#include "TOneHidVar.h"
#include "TSoftDet.h"
#include "ThermoFormat.h"

#include <array>
#include <exception>
#include <memory>

namespace {

const QString kMinus = QStringLiteral("-");
const QString kPlus = QStringLiteral("+");

// Past any value a thermostat field can take, still far from overflowing.
constexpr std::int64_t kWholeCeiling = 1'000'000'000;

enum class Condition { BothZero, Equal, Less, Greater };

struct CheckRule
{
    const char *signe1;
    const char *signe2;
    Condition condition;
    const char *message;
    bool stop;
};

// Tried in this order; a combination whose rules all pass is written.
const std::array<CheckRule, 11> kRules{{
    {"-", "-", Condition::BothZero,
     "Merci de configurer le thermostat avec des valeurs corectes, -0 et -0  n'est pas admisbles !!!", false},
    {"-", "-", Condition::Equal,
     "Merci de configurer le thermostat avec des valeurs corectes, deux valeurs indentiques ne sont pas "
     "admisbles!!!",
     true},
    {"-", "-", Condition::Less,
     "Merci de configurer le thermostat avec des valeurs corectes, TH superieure à TL n'est pas admisbles!!!",
     true},
    {"+", "+", Condition::BothZero,
     "Merci de configurer le thermostat avec des valeurs corectes, 0 et 0  n'est pas admisbles !!!", false},
    {"+", "+", Condition::Equal,
     "Merci de configurer le thermostat avec des valeurs corectes, deux valeurs indentiques ne sont pas "
     "admisbles!!!",
     true},
    {"+", "+", Condition::Greater,
     "Merci de configurer le thermostat avec des valeurs corectes, TL superieure à TH n'est pas admisbles!!!",
     true},
    {"-", "+", Condition::BothZero,
     "Merci de configurer le thermostat avec des valeurs corectes, -0 et 0 n'est pas pas admisbles !!!",
     true},
    {"+", "-", Condition::BothZero,
     "Merci de configurer le thermostat avec des valeurs corectes, 0 et -0 n'est pas pas admisbles !!!",
     true},
    {"+", "-", Condition::Equal,
     "Merci de configurer le thermostat avec des valeurs corectes, TH inférieure à TL n'est pas admisbles!!!",
     true},
    {"+", "-", Condition::Less,
     "Merci de configurer le thermostat avec des valeurs corectes, TH inférieur à TL n'est pas admisbles!!!",
     true},
    {"+", "-", Condition::Greater,
     "Merci de configurer le thermostat avec des valeurs corectes, TH inférieur à TL n'est pas admisbles!!!",
     true},
}};

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool holds(Condition condition, double temp1, double temp2)
{
    switch (condition) {
    case Condition::BothZero:
        return temp1 == 0 && temp2 == 0;
    case Condition::Equal:
        return temp1 == temp2;
    case Condition::Less:
        return temp1 < temp2;
    case Condition::Greater:
        return temp1 > temp2;
    }
    return false;
}

QString failureText(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const ErrorRecord &e) {
        return e.source() + QStringLiteral(": ") + e.description();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("unknown failure");
    }
}

} // namespace

ConfigSender::ConfigSender(ConsoleContext &context) : m_context(context) {}

double ConfigSender::Temp(const QString &wholeText, const QString &tenthsText)
{
    const QString text = wholeText + QLatin1Char('.') + tenthsText;
    qsizetype end = 0;
    while (end < text.size() && isDigit(text.at(end)))
        ++end;
    if (end < text.size() && text.at(end) == QLatin1Char('.')) {
        ++end;
        while (end < text.size() && isDigit(text.at(end)))
            ++end;
    }
    // "." alone reads as 0; toDouble takes "12.", ".5" and "12.5" as they are.
    bool ok = false;
    const double value = text.left(end).toDouble(&ok);
    return ok ? value : 0.0;
}

std::int64_t ConfigSender::Code(const QString &signe, const QString &wholeText, const QString &tenthsText)
{
    std::int64_t whole = 0;
    for (QChar c : wholeText) {
        if (!isDigit(c))
            break;
        whole = whole * 10 + (c.unicode() - '0');
        if (whole >= kWholeCeiling) {
            whole = kWholeCeiling;
            break;
        }
    }
    const std::int64_t tenths =
        !tenthsText.isEmpty() && isDigit(tenthsText.at(0)) ? tenthsText.at(0).unicode() - '0' : 0;
    const std::int64_t code = whole * 10 + tenths;
    return signe == kMinus ? -code : code;
}

SendCheck ConfigSender::checkPair(const QString &signe1, double temp1, const QString &signe2, double temp2)
{
    SendCheck check;
    for (const CheckRule &rule : kRules) {
        if (signe1 != QLatin1String(rule.signe1) || signe2 != QLatin1String(rule.signe2))
            continue;
        if (!holds(rule.condition, temp1, temp2))
            continue;
        check.messages << QString::fromUtf8(rule.message);
        if (rule.stop) {
            check.stop = true;
            break;
        }
    }
    return check;
}

QString ConfigSender::L(double magnitude, QChar decimalSeparator)
{
    QString text = QString::number(magnitude, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

SendResult ConfigSender::send(const SendRequest &request)
{
    SendResult result;
    MessageBoxes &boxes = *m_context.platform().messageBoxes;

    const double Temp_t1 = Temp(request.Text_t1_value, request.Text_t1_dixieme);
    const double Temp_t2 = Temp(request.Text_t2_value, request.Text_t2_dixieme);

    const SendCheck check = checkPair(request.Signe_t1, Temp_t1, request.Signe_t2, Temp_t2);
    for (const QString &message : check.messages)
        boxes.message(message);
    if (check.stop)
        return result;

    // The entry rules let a few values past the thermostat's range (a sign
    // changed after the tenths were typed gives -55.5); the thermostat could
    // not hold them, so they never leave the program.
    const std::int64_t wideCode1 = Code(request.Signe_t1, request.Text_t1_value, request.Text_t1_dixieme);
    const std::int64_t wideCode2 = Code(request.Signe_t2, request.Text_t2_value, request.Text_t2_dixieme);
    if (!inThermostatRange(wideCode1) || !inThermostatRange(wideCode2)) {
        boxes.message(kRangeMessage);
        return result;
    }
    const auto Code_t1 = static_cast<std::int32_t>(wideCode1);
    const auto Code_t2 = static_cast<std::int32_t>(wideCode2);

    const QChar separator = m_context.platform().regional->decimalSeparator();
    const QString gap = QStringLiteral("   ");
    result.accepted = true;
    result.Text7 = L(Temp_t1, separator) + gap + L(Temp_t2, separator);
    result.Text8 = QString::number(Code_t1) + gap + QString::number(Code_t2);

    // A copy: the collection may change once control returns to the event loop.
    const std::vector<std::shared_ptr<TSoftDet>> devices = m_context.Devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const int position = static_cast<int>(i) + 1;
        try {
            writeDevice(*devices[i], position, Code_t1, Code_t2, request.Mode_relais);
        } catch (...) {
            // The component failed inside this device's writes: the rest of
            // them cannot go on, the other thermostats still get theirs.
            m_context.platform().beeper->beep();
            m_context.AddToResults(QStringLiteral("+ + + Unable to send to device") +
                                   ThermoFormat::N(position) + QStringLiteral("! ") +
                                   failureText(std::current_exception()) + QStringLiteral(" + + +"));
        }
    }
    return result;
}

bool ConfigSender::writeConfiguration(TSoftDet &device, std::int32_t codeLow, std::int32_t codeHigh,
                                      std::int16_t mode, const WriteObserver &wrote)
{
    const auto write = [&wrote](const std::shared_ptr<TOneHidVar> &var, const char *name,
                                std::int32_t value) {
        var->setUnScaledValue(value);
        if (wrote)
            wrote(name, var->UnScaledValue());
    };
    write(device.OutTempLowVar(), "OutTempLowVar", codeLow);
    write(device.OutTempHighVar(), "OutTempHighVar", codeHigh);
    write(device.OutModeRelayVar(), "OutModeRelayVar", mode);
    write(device.OutBootStatus(), "OutBootStatus", kBootStatus);
    write(device.OutBootVar(), "OutBootVar", kBootVar);
    return device.WriteAllReports();
}

void ConfigSender::writeDevice(TSoftDet &device, int position, std::int32_t code1, std::int32_t code2,
                               std::int16_t mode)
{
    m_context.AddToResults(QString());

    const auto logged = [this](const char *name, std::int32_t value) {
        m_context.AddToResults(QStringLiteral("  Wrote to device: ") + QLatin1String(name) +
                               QStringLiteral(" = 0x") + ThermoFormat::hex(value));
    };
    if (writeConfiguration(device, code1, code2, mode, logged)) {
        m_context.AddToResults(QStringLiteral("  Successfully wrote to device"));
    } else {
        m_context.platform().beeper->beep();
        m_context.AddToResults(QStringLiteral("+ + + Unable to send to device") + ThermoFormat::N(position) +
                               QStringLiteral("! + + +"));
    }
}
