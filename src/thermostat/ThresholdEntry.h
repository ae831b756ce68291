#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <cstdint>

// One threshold as the window shows it: the sign list, the sign box, the
// whole-degree and tenths boxes and the three entry flags of that threshold.
struct ThresholdFields
{
    QString Signe;              // the item last chosen in the sign list: "", "+" or "-"
    QString signeText;          // what the sign box beside the list shows
    QString valueText;          // whole degrees
    int valueMaxLength = 0;     // 0: no maximum
    QString dixiemeText;        // tenths digit
    int dixiemeMaxLength = 0;   // 0: no maximum
    bool dixiemeLocked = false; // tenths read-only while the threshold stands at its limit
    bool Ok_signe = false;
    bool Ok_value = false;
    bool Ok_dixieme = false;

    bool operator==(const ThresholdFields &) const = default;
};

// The entry rules of TL and TH and of the relay mode, without any widget:
// each event takes what the user did and leaves the new state of the fields,
// plus the texts of the message boxes to show before that state is applied.
// Setting a text here runs that text's change rules at once, the way a text
// box raises its change event, so one user event may cascade (a clamp to the
// limit brings the tenths to "0" and locks them).
class ThresholdEntry
{
public:
    enum class Threshold { TL, TH };
    enum class RelayMode : std::int16_t { A = 65, B = 66 };

    static inline const QString kMinus = QStringLiteral("-");
    static inline const QString kPlus = QStringLiteral("+");
    static inline const QString kLimitMessage = QStringLiteral("Merci de mettre une valeur < ou = a 55 ° C");

    ThresholdEntry();

    // Start-up duties of the main window, in its load order.
    void setTenthsMaxLengths(); // both tenths fields: maximum length 1
    void resetModeRelais();     // Mode_relais := 65 (mode A)
    void clearEntryFlags();     // the six entry flags := false

    // Events. Choosing a sign may call for a message box: its text comes
    // back, to be shown before the new state is put on screen.
    QStringList chooseSign(Threshold t, const QString &item);
    void valueTextChanged(Threshold t, const QString &text);
    void clickValue(Threshold t);
    void dixiemeTextChanged(Threshold t, const QString &text);
    void clickDixieme(Threshold t);
    void chooseMode(RelayMode mode);

    // What a whole-degree field may hold after an edit: digits only. Only
    // digits and backspace get through the keyboard; a paste or a drop of
    // anything else is turned away the same way.
    static bool acceptsValueText(const QString &text);
    // What a tenths field may hold after an edit: nothing or one digit, so
    // that sending always finds a digit there.
    static bool acceptsDixiemeText(const QString &text);

    // The number the leading digits of a whole-degree text form; an empty or
    // non-numeric text counts as 0. Saturates instead of overflowing.
    static std::int64_t wholeValue(const QString &text);
    // "55" for "-", "125" for "+", empty for no sign.
    static QString limitText(const QString &signe);

    const ThresholdFields &fields(Threshold t) const { return t == Threshold::TL ? m_t1 : m_t2; }
    const ThresholdFields &t1() const { return m_t1; }
    const ThresholdFields &t2() const { return m_t2; }
    const QString &Signe_t1() const { return m_t1.Signe; }
    const QString &Signe_t2() const { return m_t2.Signe; }
    std::int16_t Mode_relais() const { return m_modeRelais; }
    RelayMode relayMode() const { return static_cast<RelayMode>(m_modeRelais); }

    // All six entry flags are true.
    bool allEntryFlags() const;
    // Whether ShowConfigButton has made the "Configuration" button visible;
    // once true it stays true for the rest of the run.
    bool configButtonShown() const { return m_configButtonShown; }

private:
    ThresholdFields &edit(Threshold t) { return t == Threshold::TL ? m_t1 : m_t2; }

    // A text set by the rules: the change rules run only when it differs,
    // as a text box raises no change event for the same text.
    void setValueText(Threshold t, const QString &text);
    void setDixiemeText(Threshold t, const QString &text);
    void onValueChanged(Threshold t);
    void onDixiemeChanged(Threshold t);
    void ShowConfigButton();

    ThresholdFields m_t1;
    ThresholdFields m_t2;
    std::int16_t m_modeRelais = static_cast<std::int16_t>(RelayMode::A);
    bool m_configButtonShown = false;
};
