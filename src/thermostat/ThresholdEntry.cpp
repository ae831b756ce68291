#include "ThresholdEntry.h"

namespace {

constexpr int kNegativeLimit = 55;
constexpr int kPositiveLimit = 125;

// Beyond any limit the rules compare against, and far from overflowing.
constexpr std::int64_t kWholeValueCeiling = 1'000'000'000;

std::int64_t limitOf(const QString &signe)
{
    if (signe == ThresholdEntry::kMinus)
        return kNegativeLimit;
    if (signe == ThresholdEntry::kPlus)
        return kPositiveLimit;
    return -1;
}

} // namespace

ThresholdEntry::ThresholdEntry() = default;

void ThresholdEntry::setTenthsMaxLengths()
{
    m_t1.dixiemeMaxLength = 1;
    m_t2.dixiemeMaxLength = 1;
}

void ThresholdEntry::resetModeRelais()
{
    m_modeRelais = static_cast<std::int16_t>(RelayMode::A);
}

void ThresholdEntry::clearEntryFlags()
{
    for (ThresholdFields *f : {&m_t1, &m_t2}) {
        f->Ok_signe = false;
        f->Ok_value = false;
        f->Ok_dixieme = false;
    }
}

bool ThresholdEntry::acceptsValueText(const QString &text)
{
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool ThresholdEntry::acceptsDixiemeText(const QString &text)
{
    return text.isEmpty() ||
           (text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9'));
}

std::int64_t ThresholdEntry::wholeValue(const QString &text)
{
    std::int64_t value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        value = value * 10 + (c.unicode() - '0');
        if (value >= kWholeValueCeiling)
            return kWholeValueCeiling;
    }
    return value;
}

QString ThresholdEntry::limitText(const QString &signe)
{
    const std::int64_t limit = limitOf(signe);
    return limit < 0 ? QString() : QString::number(limit);
}

bool ThresholdEntry::allEntryFlags() const
{
    return m_t1.Ok_signe && m_t2.Ok_signe && m_t1.Ok_value && m_t2.Ok_value && m_t1.Ok_dixieme &&
           m_t2.Ok_dixieme;
}

void ThresholdEntry::ShowConfigButton()
{
    if (allEntryFlags())
        m_configButtonShown = true;
}

QStringList ThresholdEntry::chooseSign(Threshold t, const QString &item)
{
    QStringList messages;
    ThresholdFields &f = edit(t);
    f.dixiemeMaxLength = 1;
    f.Signe = item;
    if (item == kMinus || item == kPlus) {
        const bool minus = item == kMinus;
        const std::int64_t limit = limitOf(item);
        f.valueMaxLength = minus ? 2 : 3;
        f.signeText = item;
        if (wholeValue(f.valueText) > limit) {
            if (minus)
                messages << kLimitMessage;
            setValueText(t, limitText(item));
        } else if (f.valueText.size() > f.valueMaxLength) {
            // A text typed before any sign may be longer than the new maximum
            // ("054"); a text box would cut it to "05" and change the value,
            // so it is written as the number it stands for instead. Nothing
            // else is revisited, as for any other sign change.
            f.valueText = QString::number(wholeValue(f.valueText));
        }
    }
    f.Ok_signe = true;
    ShowConfigButton();
    return messages;
}

void ThresholdEntry::valueTextChanged(Threshold t, const QString &text)
{
    edit(t).valueText = text;
    onValueChanged(t);
}

void ThresholdEntry::clickValue(Threshold t)
{
    // Emptying counts as a change even when the field was empty already.
    edit(t).valueText.clear();
    onValueChanged(t);
}

void ThresholdEntry::dixiemeTextChanged(Threshold t, const QString &text)
{
    edit(t).dixiemeText = text;
    onDixiemeChanged(t);
}

void ThresholdEntry::clickDixieme(Threshold t)
{
    ThresholdFields &f = edit(t);
    f.dixiemeText.clear();
    onDixiemeChanged(t);
    if (!f.Signe.isEmpty() && f.valueText == limitText(f.Signe)) {
        setDixiemeText(t, QStringLiteral("0"));
        f.dixiemeLocked = true;
    }
}

void ThresholdEntry::chooseMode(RelayMode mode)
{
    m_modeRelais = static_cast<std::int16_t>(mode);
}

void ThresholdEntry::setValueText(Threshold t, const QString &text)
{
    ThresholdFields &f = edit(t);
    if (f.valueText == text)
        return;
    f.valueText = text;
    onValueChanged(t);
}

void ThresholdEntry::setDixiemeText(Threshold t, const QString &text)
{
    ThresholdFields &f = edit(t);
    if (f.dixiemeText == text)
        return;
    f.dixiemeText = text;
    onDixiemeChanged(t);
}

void ThresholdEntry::onValueChanged(Threshold t)
{
    ThresholdFields &f = edit(t);

    // TH can never exceed +125, sign or no sign.
    if (t == Threshold::TH && wholeValue(f.valueText) > kPositiveLimit) {
        setValueText(t, QString::number(kPositiveLimit));
        setDixiemeText(t, QStringLiteral("0"));
    }

    const std::int64_t limit = limitOf(f.Signe);
    if (limit >= 0) {
        const QString limitStr = QString::number(limit);
        if (f.valueText == limitStr)
            setDixiemeText(t, QStringLiteral("0"));
        if (wholeValue(f.valueText) > limit)
            setValueText(t, limitStr);
    }

    f.dixiemeLocked = limit >= 0 && f.valueText == QString::number(limit);
    f.Ok_value = true;
    ShowConfigButton();
}

void ThresholdEntry::onDixiemeChanged(Threshold t)
{
    edit(t).Ok_dixieme = true;
    ShowConfigButton();
}
