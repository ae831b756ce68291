#pragma once

#include <QSize>
#include <QString>
#include <optional>

// Texts and sizes of the main window that do not need the window itself.
namespace MainWindowRules {

// "Calidor QN52-W   Version béta 1.1.0"
QString caption(int major, int minor, int revision);

// First line of a cleared results log.
QString logHeader(const QString &shortDate);

// The box shown while no thermostat can be opened, lines joined by CR LF.
QString retryMessage(const QString &appTitle);

// The box shown when the results log could not be saved: the file and the
// reason, e.g. "le disque est plein".
QString saveFailedMessage(const QString &path, const QString &reason);

// The results memo follows any change of the window's size. Sizes are in
// twips and held as 16-bit numbers; a result that would be empty, negative
// or beyond 16 bits leaves the memo as it is (no value).
std::optional<QSize> memoSizeFor(QSize memo0, QSize form0, QSize formNow);

} // namespace MainWindowRules
