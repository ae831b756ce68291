#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class ConsoleContext;
class TSoftDet;

// What the entry fields hold when "Configuration" is clicked.
struct SendRequest
{
    QString Signe_t1; // "+" or "-"
    QString Signe_t2;
    QString Text_t1_value;   // whole degrees of TL
    QString Text_t1_dixieme; // tenths digit of TL
    QString Text_t2_value;
    QString Text_t2_dixieme;
    std::int16_t Mode_relais = 65;
};

// The verdict of the checks on a pair: the message boxes to show, in order,
// and whether the click ends there.
struct SendCheck
{
    QStringList messages;
    bool stop = false;
};

// What a click changed on the window besides the log.
struct SendResult
{
    bool accepted = false; // the checks passed; Text7 and Text8 take the texts below
    QString Text7;         // the two magnitudes, "12,5   20"
    QString Text8;         // the two codes in tenths, "-125   200"
};

// Sending the entered configuration to every thermostat: the checks of the
// pair, the encoding as signed tenths of a degree, and the five writes per
// device with their log lines. No widget here: the message boxes, the beep
// and the log go through the console context.
class ConfigSender
{
public:
    static inline const QString kRangeMessage = QStringLiteral(
        "Merci de configurer le thermostat avec des valeurs comprises entre -55 et +125 ° C !!!");

    // The thermostat holds thresholds from -55.0 to +125.0 °C.
    static constexpr std::int64_t kLowestCode = -550;
    static constexpr std::int64_t kHighestCode = 1250;

    explicit ConfigSender(ConsoleContext &context);

    // One click of "Configuration".
    SendResult send(const SendRequest &request);

    // Temp_t1 / Temp_t2: the magnitude read from the whole text, a point and
    // the tenths text, as far as that forms a decimal number ("12" + "5" →
    // 12.5, "12" + "" → 12, "" + "5" → 0.5).
    static double Temp(const QString &wholeText, const QString &tenthsText);

    // Code_t1 / Code_t2: whole × 10 + tenths digit, negated under "-"; an
    // empty field, or a tenths field without a digit, counts as 0. Wide
    // enough for any text, so an out-of-range entry is seen, not wrapped.
    static std::int64_t Code(const QString &signe, const QString &wholeText, const QString &tenthsText);

    // The checking table for the sign combination, in its order.
    static SendCheck checkPair(const QString &signe1, double temp1, const QString &signe2, double temp2);

    static bool inThermostatRange(std::int64_t code) { return code >= kLowestCode && code <= kHighestCode; }

    // The boot values that go with every configuration.
    static constexpr std::int32_t kBootStatus = 200;
    static constexpr std::int32_t kBootVar = 201;

    // Hears each output variable written, by name, with the value it holds
    // right after the write.
    using WriteObserver = std::function<void(const char *name, std::int32_t value)>;

    // The five writes of a configuration into one device object, in their
    // order (TL, TH, mode, boot status, boot value), then report B. True
    // when the report was written. Shared by the window and calidorctl.
    static bool writeConfiguration(TSoftDet &device, std::int32_t codeLow, std::int32_t codeHigh,
                                   std::int16_t mode, const WriteObserver &wrote = {});

    // A magnitude in the user's decimal notation without trailing zeros:
    // "12,5", "20", "0,5".
    static QString L(double magnitude, QChar decimalSeparator);

private:
    void writeDevice(TSoftDet &device, int position, std::int32_t code1, std::int32_t code2,
                     std::int16_t mode);

    ConsoleContext &m_context;
};
