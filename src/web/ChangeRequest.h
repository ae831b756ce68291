#pragma once

#include "SetCommand.h"

#include <QByteArray>
#include <QString>

// The checks of `POST /api/v1/thermostats/ID/settings` before anything
// reaches a thermostat. A change is JSON only and, when the browser says
// where the page came from, from a page of this very service: a form on
// another site can post neither JSON nor a matching Origin, so it cannot
// change a thermostat even when the browser holds a login.
namespace ChangeRequest {

// A change is three small values; anything much larger is not one.
constexpr qsizetype kMostBytes = 4096;

struct Verdict
{
    unsigned status = 200; // 200 when the values may go to the thermostat
    QString reason;
    SetCommand::Values values;
};

// Content-Type and Origin (empty when the request had none) against the
// Host the request was sent to, over https when `tls`. 403 when refused.
Verdict checkHeaders(const QByteArray &contentType, const QByteArray &origin, const QByteArray &host,
                     bool tls);

// The body: at most kMostBytes (413), JSON that parses (400), an object of
// `tl`, `th` and `mode` only, each checked as `calidorctl set` checks its
// --tl, --th and --mode (422). Whether TL lies below TH is the service's
// to decide, against what the thermostat holds.
Verdict parseBody(const QByteArray &body);

} // namespace ChangeRequest
