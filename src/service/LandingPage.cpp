#include "LandingPage.h"

#include "ValueParser.h"

namespace LandingPage {

QByteArray table(const std::vector<ThermostatState> &states, const QString &version)
{
    const auto cell = [](const QString &text) {
        return QStringLiteral("<td>%1</td>").arg(text.toHtmlEscaped());
    };
    QString rows;
    for (const ThermostatState &s : states) {
        rows +=
            QStringLiteral("<tr>") + cell(s.id) + cell(s.up ? QStringLiteral("up") : QStringLiteral("down"));
        if (s.reading) {
            const Reading &r = *s.reading;
            rows += cell(ValueParser::celsiusText(r.temperature) + QStringLiteral(" °C")) +
                    cell(ValueParser::celsiusText(r.low) + QStringLiteral(" °C")) +
                    cell(ValueParser::celsiusText(r.high) + QStringLiteral(" °C")) + cell(r.contactText()) +
                    cell(r.modeText()) + cell(Reading::probeMeaning(r.probeStatus)) +
                    cell(s.readAt.toString(Qt::ISODate));
        } else {
            rows += QStringLiteral("<td colspan=\"7\">no reading yet</td>");
        }
        rows += cell(s.path) + QStringLiteral("</tr>\n");
    }
    if (states.empty())
        rows = QStringLiteral("<tr><td colspan=\"10\">no thermostat found yet</td></tr>\n");
    return QStringLiteral(
               "<table>\n<tr><th>id</th><th>state</th><th>temperature</th><th>TL</th><th>TH</th>"
               "<th>relay</th><th>mode</th><th>probe</th><th>last reading</th><th>node</th></tr>\n%1"
               "</table>\n<p><a href=\"/metrics\">Metrics</a> for Prometheus. calidorctl %2</p>\n")
        .arg(rows, version.toHtmlEscaped())
        .toUtf8();
}

} // namespace LandingPage
