#include "UhidProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <linux/input.h>

namespace {

constexpr std::size_t header = offsetof(uhid_event, u);

void copyText(__u8 *to, std::size_t room, const QString &text)
{
    const QByteArray utf8 = text.toUtf8().left(static_cast<qsizetype>(room - 1));
    std::memcpy(to, utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

} // namespace

namespace UhidProtocol {

uhid_event create(const EmulatedThermostat &thermostat)
{
    const VirtualThermostat &m = thermostat.model();
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    uhid_create2_req &c = ev.u.create2;
    copyText(c.name, sizeof c.name, m.productName());
    copyText(c.phys, sizeof c.phys, QStringLiteral("calidor-kernel-emu"));
    copyText(c.uniq, sizeof c.uniq, m.serialNumber());
    const auto &rd = m.reportDescriptor();
    c.rd_size = static_cast<__u16>(std::min<std::size_t>(rd.size(), sizeof c.rd_data));
    std::memcpy(c.rd_data, rd.data(), c.rd_size);
    // Announced as USB so the program takes it for the thermostat; it has no USB parent all the same.
    c.bus = BUS_USB;
    c.vendor = m.vendorId();
    c.product = m.productId();
    c.version = 0x0100;
    return ev;
}

uhid_event destroy()
{
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    return ev;
}

std::optional<uhid_event> handle(EmulatedThermostat &thermostat, const uhid_event &event, std::size_t size)
{
    if (size < header)
        return std::nullopt;
    switch (event.type) {
    case UHID_GET_REPORT: {
        if (size < header + sizeof(uhid_get_report_req))
            return std::nullopt;
        const uhid_get_report_req &q = event.u.get_report;
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = q.id;
        if (q.rtype != UHID_INPUT_REPORT) {
            reply.u.get_report_reply.err = EIO;
            return reply;
        }
        const EmulatedThermostat::Answer a = thermostat.getInputReport(q.rnum);
        if (a.kind == EmulatedThermostat::Answer::Ignored)
            return std::nullopt;
        if (a.kind == EmulatedThermostat::Answer::Refused) {
            reply.u.get_report_reply.err = EIO;
            return reply;
        }
        reply.u.get_report_reply.size = static_cast<__u16>(a.report.size());
        std::memcpy(reply.u.get_report_reply.data, a.report.data(), a.report.size());
        return reply;
    }
    case UHID_SET_REPORT: {
        if (size < header + offsetof(uhid_set_report_req, data))
            return std::nullopt;
        const uhid_set_report_req &q = event.u.set_report;
        if (thermostat.silent)
            return std::nullopt;
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = q.id;
        const std::size_t n = std::min<std::size_t>(q.size, sizeof q.data);
        const bool taken = q.rtype == UHID_OUTPUT_REPORT &&
                           size >= header + offsetof(uhid_set_report_req, data) + n &&
                           thermostat.takeOutputReport(std::vector<std::uint8_t>(q.data, q.data + n));
        reply.u.set_report_reply.err = taken ? 0 : EIO;
        return reply;
    }
    case UHID_OUTPUT: {
        if (size < header + offsetof(uhid_output_req, rtype) + sizeof(__u8))
            return std::nullopt;
        const uhid_output_req &o = event.u.output;
        if (o.rtype == UHID_OUTPUT_REPORT && o.size <= sizeof o.data)
            thermostat.takeOutputReport(std::vector<std::uint8_t>(o.data, o.data + o.size));
        return std::nullopt;
    }
    default: // START, STOP, OPEN, CLOSE: nothing to answer
        return std::nullopt;
    }
}

} // namespace UhidProtocol
