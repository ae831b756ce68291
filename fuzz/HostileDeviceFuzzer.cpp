// A hostile device: the whole HID component over a bus whose devices,
// descriptors, transfers and plug timing all come from the input. The
// component is driven the way the device model and the main window drive
// it: open by criteria, bind the thermostat's variables, read and send
// reports, re-bind after a close, handle plug events. Besides the
// sanitizers, it traps when the component breaks a promise: an operation in
// range that fails, one out of range that does not fail with its code, any
// other exception, a handle closed twice or never, a connection kept after
// its interface closed, an interface of an unplugged device still open once
// events are processed, or a failed read that changed the report copy.
//
// Input: a header byte, the devices, a script of operations and, after it,
// the bytes that the devices answer transfers with.
#include "ByteStream.h"
#include "ErrorRecord.h"
#include "FuzzTransport.h"
#include "HidAgent.h"

#include <QCoreApplication>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

[[noreturn]] void broken(const char *promise, int line)
{
    std::fprintf(stderr, "broken promise at line %d: %s\n", line, promise);
    __builtin_trap();
}

constexpr std::uint16_t ThermostatVid = 0x0925;
constexpr std::uint16_t ThermostatPid = 0x5000;
constexpr std::int32_t VendorPage = 0xFF00;

// Names the broken promise before stopping, so a finding reads at once.
#define REQUIRE(promise) ((promise) ? void() : broken(#promise, __LINE__))

// Runs `call`; it must fail with `code` exactly when `fails` is true.
template <typename Call> void expect(bool fails, std::int32_t code, Call &&call)
{
    try {
        call();
    } catch (const ErrorRecord &e) {
        REQUIRE(fails && e.code() == code);
        return;
    } catch (...) {
        broken("no other exception", __LINE__);
    }
    REQUIRE(!fails);
}

// Runs `call`, which may fail only with one of the component's own errors.
template <typename Call> bool tolerate(Call &&call)
{
    try {
        call();
        return true;
    } catch (const ErrorRecord &) {
        return false;
    } catch (...) {
        broken("no other exception", __LINE__);
    }
}

// The thermostat's twelve variables as the device object binds them.
struct BoundVar
{
    std::int32_t usage = 0;
    std::int32_t type = HIDagentX::Input;
    std::int32_t index = -1;
    std::int32_t report = -1;
    std::int32_t handle = 0;
};

struct DeviceObject
{
    std::array<BoundVar, 12> vars;
    std::int32_t reportA = -1;
    std::int32_t reportB = -1;

    DeviceObject()
    {
        for (std::size_t k = 0; k < vars.size(); ++k) {
            vars[k].usage = static_cast<std::int32_t>(k + 1);
            vars[k].type = k < 7 ? HIDagentX::Input : HIDagentX::Output;
        }
    }

    int unbound() const
    {
        int n = 0;
        for (const BoundVar &v : vars)
            n += v.index < 0;
        return n;
    }

    bool hasHandle(std::int32_t handle) const
    {
        for (const BoundVar &v : vars)
            if (v.handle == handle)
                return true;
        return false;
    }
};

class Driver
{
public:
    Driver(const std::uint8_t *data, std::size_t size);
    void run();

private:
    void readDevices(std::uint8_t header);
    void connectEvents();
    void step(std::uint8_t op);
    void checkState();
    void checkAfterEvents();
    void processEvents();

    // The device model's side.
    void intfOpened(std::int32_t numOpen);
    void intfClosed(std::int32_t numStillOpen, std::int32_t handle);
    int bindVars(DeviceObject &dev);
    int bindUnbound(DeviceObject &dev);
    void refreshReports(DeviceObject &dev);
    void readCycle();
    void sendCycle();

    std::int32_t pickIndex(std::int32_t count);
    std::int32_t varCount() const { return m_agent->AllVarCount(); }
    std::int32_t rptCount() const { return m_agent->AllRptCount(); }
    std::int32_t openCount() const { return static_cast<std::int32_t>(m_openHandles.size()); }

    ByteStream m_input;
    ByteStream m_script;
    ByteStream m_responses;
    std::shared_ptr<FuzzTransport> m_transport;
    std::unique_ptr<HidAgent> m_agent;
    std::vector<DeviceObject> m_devices;
    std::vector<std::int32_t> m_openHandles; // in opening order, from the events
    bool m_startingUp = true;
};

Driver::Driver(const std::uint8_t *data, std::size_t size) : m_input(data, size)
{
    m_transport = std::make_shared<FuzzTransport>(m_responses);
}

void Driver::readDevices(std::uint8_t header)
{
    const int count = 1 + (header & 3);
    for (int k = 0; k < count; ++k) {
        const std::uint8_t flags = m_input.byte();
        HidDeviceInfo info;
        switch (flags & 3) {
        case 0:
            info.vendorId = ThermostatVid;
            info.productId = ThermostatPid;
            break;
        case 1:
            info.vendorId = ThermostatVid;
            info.productId = 0x5001;
            break;
        case 2:
            info.vendorId = 0x046D;
            info.productId = ThermostatPid;
            break;
        default:
            info.vendorId = m_input.u16();
            info.productId = m_input.u16();
            break;
        }
        if (flags & 0x10) {
            const std::vector<std::uint8_t> name = m_input.bytes(m_input.byte());
            info.product = QString::fromUtf8(reinterpret_cast<const char *>(name.data()),
                                             static_cast<qsizetype>(name.size()));
        }
        if (flags & 0x20)
            info.identityProblem = QStringLiteral("its identity could not be read");
        info.reportDescriptor = m_input.bytes(m_input.u16());
        const std::size_t index = m_transport->addDevice(std::move(info), flags & 0x08);
        if (flags & 0x04)
            m_transport->plug(index); // before the component exists: already there at start
    }
}

void Driver::connectEvents()
{
    HidAgent *agent = m_agent.get();
    QObject::connect(
        agent, &HIDagentX::OnIntfOpened, agent,
        [this](std::int32_t, std::int32_t, std::int32_t numOpen, const QString &) { intfOpened(numOpen); });
    QObject::connect(agent, &HIDagentX::OnIntfClosed, agent,
                     [this](std::int32_t numStillOpen, const QString &, std::int32_t handle) {
                         intfClosed(numStillOpen, handle);
                     });
    QObject::connect(agent, &HIDagentX::OnDeviceConnected, agent,
                     [this](std::int32_t count, const QString &) {
                         REQUIRE(count >= 0 && std::size_t(count) <= m_transport->deviceCount());
                         if (!m_startingUp)
                             m_agent->OpenMatchingIntfs();
                     });
    QObject::connect(agent, &HIDagentX::OnDeviceDisconnected, agent,
                     [this](std::int32_t count, const QString &) {
                         REQUIRE(count >= 0 && std::size_t(count) <= m_transport->deviceCount());
                     });
    QObject::connect(agent, &HIDagentX::OnRptArrived, agent, [this](std::int32_t inIntf, std::int32_t all) {
        REQUIRE(all >= 0 && all < rptCount() && inIntf >= 0 && inIntf <= all);
    });
    QObject::connect(agent, &HIDagentX::OnRptSelected, agent,
                     [this](std::int32_t all) { REQUIRE(all >= 0 && all < rptCount()); });
}

void Driver::intfOpened(std::int32_t numOpen)
{
    REQUIRE(numOpen == m_agent->OpenIntfCount());
    // The new interface is the last one; remember its handle to check its close.
    const std::int32_t handle = m_agent->SelectOpenIntf(numOpen - 1);
    for (std::int32_t h : m_openHandles)
        REQUIRE(h != handle);
    m_openHandles.push_back(handle);

    const bool reuse = !m_devices.empty() && m_devices.back().unbound() != 0;
    DeviceObject fresh;
    DeviceObject &dev = reuse ? m_devices.back() : fresh;
    const int result = bindVars(dev);
    if (!reuse && result >= 0)
        m_devices.push_back(fresh);
}

void Driver::intfClosed(std::int32_t numStillOpen, std::int32_t handle)
{
    REQUIRE(numStillOpen == m_agent->OpenIntfCount());
    // Closed once, and only what was opened.
    bool known = false;
    for (auto it = m_openHandles.begin(); it != m_openHandles.end(); ++it)
        if (*it == handle) {
            m_openHandles.erase(it);
            known = true;
            break;
        }
    REQUIRE(known);

    for (std::size_t i = m_devices.size(); i-- > 0;) {
        DeviceObject &dev = m_devices[i];
        for (BoundVar &v : dev.vars)
            if (v.handle == handle) {
                if (v.type == HIDagentX::Input && v.report == dev.reportA)
                    dev.reportA = -1;
                else if (v.type == HIDagentX::Output && v.report == dev.reportB)
                    dev.reportB = -1;
                v.index = v.report = -1;
            }
        if (dev.hasHandle(handle))
            m_devices.erase(m_devices.begin() + static_cast<std::ptrdiff_t>(i));
    }
    // Device i re-binds to the open interface at position i.
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const auto pos = static_cast<std::int32_t>(i);
        std::int32_t h = 0;
        expect(pos >= m_agent->OpenIntfCount(), HidAgent::ErrIntfPositionOutOfRange,
               [&] { h = m_agent->SelectOpenIntf(pos); });
        if (pos >= m_agent->OpenIntfCount())
            break;
        expect(false, 0, [&] { m_agent->SelectIntf(h); });
        DeviceObject &dev = m_devices[i];
        for (BoundVar &v : dev.vars)
            v.index = v.report = -1;
        dev.reportA = dev.reportB = -1;
        bindUnbound(dev);
        refreshReports(dev);
    }
}

int Driver::bindVars(DeviceObject &dev)
{
    const std::int32_t n = m_agent->OpenIntfCount();
    m_agent->SelectOpenIntf(n - 1);
    if (m_agent->CurrentVID() != ThermostatVid || m_agent->CurrentPID() != ThermostatPid)
        return -1;
    const int result = bindUnbound(dev);
    refreshReports(dev);
    return result;
}

int Driver::bindUnbound(DeviceObject &dev)
{
    for (BoundVar &v : dev.vars) {
        if (v.index >= 0)
            continue;
        const std::int32_t found = m_agent->FindVar(VendorPage, v.usage, v.type, false);
        REQUIRE(found >= -1 && found < varCount());
        if (found < 0)
            continue;
        const HidField *field = m_agent->VarField(found);
        REQUIRE(field && field->usagePage == VendorPage && field->usage == v.usage &&
                static_cast<std::int32_t>(field->reportType) == v.type);
        m_agent->SelectVar(found);
        v.index = found;
        v.handle = m_agent->CurrentIntfHandle();
        v.report = m_agent->VarRptIndex(found);
        REQUIRE(v.report >= 0 && v.report < rptCount());
        // Every attribute the device object copies.
        m_agent->AbsoluteNotRelative();
        m_agent->ArrayNotVariable();
        m_agent->BitsNotBuffer();
        m_agent->HasNullState();
        m_agent->VarIsButton(found);
        m_agent->Linear();
        m_agent->LogicalMaximum();
        m_agent->LogicalMinimum();
        m_agent->NoPrefState();
        m_agent->NoWrap();
        m_agent->PhysicalMaximum();
        m_agent->PhysicalMinimum();
        REQUIRE(m_agent->SizeInBits() > 0);
        m_agent->StringDescriptor();
        m_agent->Volatile();
        m_agent->SetVarName(found, QStringLiteral("Var%1").arg(v.usage));
        m_agent->SetVarScaleMode(HIDagentX::smUnscaledOnly);
        REQUIRE(m_agent->VarScaleMode() == HIDagentX::smUnscaledOnly);
    }
    return dev.unbound();
}

void Driver::refreshReports(DeviceObject &dev)
{
    if (dev.vars[0].report >= 0)
        dev.reportA = dev.vars[0].report;
    if (dev.vars[7].report >= 0)
        dev.reportB = dev.vars[7].report;
}

void Driver::readCycle()
{
    for (DeviceObject &dev : m_devices) {
        if (dev.reportA < 0)
            continue;
        const bool inRange = dev.reportA < rptCount();
        expect(!inRange, HidAgent::ErrRptIndexOutOfRange, [&] { m_agent->SelectRpt(dev.reportA); });
        if (!inRange)
            continue;
        // A failed read leaves the copy as it was.
        std::array<std::int32_t, 7> before{};
        for (std::size_t k = 0; k < before.size(); ++k)
            if (dev.vars[k].index >= 0 && dev.vars[k].index < varCount())
                before[k] = m_agent->VarUnScaledValue(dev.vars[k].index);
        const bool read = m_agent->ReadCurrentRpt();
        for (std::size_t k = 0; k < before.size(); ++k)
            if (dev.vars[k].index >= 0 && dev.vars[k].index < varCount()) {
                const std::int32_t now = m_agent->VarUnScaledValue(dev.vars[k].index);
                REQUIRE(read || now == before[k]);
                m_agent->VarScaledValue(dev.vars[k].index);
            }
    }
}

void Driver::sendCycle()
{
    for (DeviceObject &dev : m_devices) {
        for (std::size_t k = 7; k < dev.vars.size(); ++k) {
            const std::int32_t index = dev.vars[k].index;
            const std::int32_t value = static_cast<std::int16_t>(m_script.u16());
            expect(index < 0 || index >= varCount(), HidAgent::ErrVarIndexOutOfRange,
                   [&] { m_agent->SetVarUnScaledValue(index, value); });
        }
        if (dev.reportB < 0)
            continue;
        const bool inRange = dev.reportB < rptCount();
        expect(!inRange, HidAgent::ErrRptIndexOutOfRange, [&] { m_agent->SelectRpt(dev.reportB); });
        if (inRange)
            m_agent->WriteCurrentRpt();
    }
}

// Mostly -1 .. count, now and then anything.
std::int32_t Driver::pickIndex(std::int32_t count)
{
    const std::uint8_t b = m_script.byte();
    if (b >= 0xF0)
        return static_cast<std::int32_t>(m_script.u32());
    return static_cast<std::int32_t>(b % (count + 2)) - 1;
}

void Driver::processEvents()
{
    // Events posted while the queue is being emptied wait for the next pass:
    // a vanished device's notice posts its interface's close.
    for (int pass = 0; pass < 4; ++pass)
        QCoreApplication::sendPostedEvents();
    checkAfterEvents();
}

void Driver::step(std::uint8_t op)
{
    const std::size_t devices = m_transport->deviceCount();
    switch (op % 16) {
    case 0:
        m_agent->OpenMatchingIntfs();
        break;
    case 1:
        m_transport->plug(m_script.byte() % devices);
        break;
    case 2:
        m_transport->unplug(m_script.byte() % devices);
        break;
    case 3:
        processEvents();
        break;
    case 4:
        readCycle();
        break;
    case 5:
        sendCycle();
        break;
    case 6: {
        const std::int32_t i = pickIndex(varCount());
        const bool bad = i < 0 || i >= varCount();
        expect(bad, HidAgent::ErrVarIndexOutOfRange, [&] { m_agent->SelectVar(i); });
        // Right after a good selection every attribute answers; after a bad
        // one only a selection lost with its interface may fail.
        HidAgent &a = *m_agent;
        const std::function<void()> attributes[] = {
            [&] { a.AbsoluteNotRelative(); },
            [&] { a.ArrayNotVariable(); },
            [&] { a.BitsNotBuffer(); },
            [&] { a.HasNullState(); },
            [&] { a.Linear(); },
            [&] { a.NoPrefState(); },
            [&] { a.NoWrap(); },
            [&] { a.Volatile(); },
            [&] { a.LogicalMaximum(); },
            [&] { a.LogicalMinimum(); },
            [&] { a.PhysicalMaximum(); },
            [&] { a.PhysicalMinimum(); },
            [&] { a.SizeInBits(); },
            [&] { a.StringDescriptor(); },
            [&] { a.VarScaleMode(); },
        };
        for (const auto &attribute : attributes) {
            try {
                attribute();
            } catch (const ErrorRecord &e) {
                REQUIRE(bad && e.code() == HidAgent::ErrNoCurrentVar);
            } catch (...) {
                broken("no other exception", __LINE__);
            }
        }
        const QString name = a.VarName(i);
        REQUIRE(!bad || (name.isEmpty() && a.VarField(i) == nullptr));
        break;
    }
    case 7: {
        const std::uint8_t how = m_script.byte();
        const std::int32_t i = pickIndex(rptCount());
        const bool bad = i < 0 || i >= rptCount();
        if (how & 1)
            expect(bad, HidAgent::ErrRptIndexOutOfRange, [&] { m_agent->SelectRpt(i); });
        else
            expect(bad, HidAgent::ErrRptIndexOutOfRange, [&] { m_agent->setCurrentRptNum(i); });
        const std::int32_t current = m_agent->CurrentRptNum();
        REQUIRE(current >= -1 && current < rptCount());
        if (how & 2)
            m_agent->WriteCurrentRpt();
        else
            m_agent->ReadCurrentRpt();
        break;
    }
    case 8: {
        const std::uint8_t how = m_script.byte();
        const std::int32_t i = pickIndex(varCount());
        const std::int32_t value = static_cast<std::int32_t>(m_script.u32());
        const bool bad = i < 0 || i >= varCount();
        const std::int32_t code = HidAgent::ErrVarIndexOutOfRange;
        switch (how & 3) {
        case 0:
            expect(bad, code, [&] { m_agent->SetVarScaledValue(i, value); });
            break;
        case 1:
            expect(bad, code, [&] { m_agent->SetVarUnScaledValue(i, value); });
            break;
        case 2:
            expect(bad, code, [&] { m_agent->VarScaledValue(i); });
            break;
        default:
            expect(bad, code, [&] { m_agent->VarUnScaledValue(i); });
            break;
        }
        break;
    }
    case 9: {
        const std::int32_t p = pickIndex(m_agent->OpenIntfCount());
        std::int32_t handle = static_cast<std::int32_t>(m_script.byte());
        const bool bad = p < 0 || p >= m_agent->OpenIntfCount();
        expect(bad, HidAgent::ErrIntfPositionOutOfRange, [&] { handle = m_agent->SelectOpenIntf(p); });
        REQUIRE(bad == m_agent->IntfName(p).isEmpty());
        bool known = false;
        for (std::int32_t h : m_openHandles)
            known = known || h == handle;
        expect(!known, HidAgent::ErrUnknownHandle, [&] { m_agent->SelectIntf(handle); });
        tolerate([&] {
            m_agent->CurrentIntfHandle();
            m_agent->CurrentVID();
            m_agent->CurrentPID();
        });
        break;
    }
    case 10: {
        const std::uint8_t how = m_script.byte();
        const std::int32_t page = (how & 1) ? m_script.u16() : VendorPage;
        const std::int32_t usage = m_script.byte();
        const std::int32_t type = static_cast<std::int32_t>((how >> 1) & 3) - ((how & 0x80) ? 4 : 0);
        const std::int32_t found = m_agent->FindVar(page, usage, type, how & 8);
        REQUIRE(found >= -1 && found < varCount());
        if (found >= 0) {
            const HidField *f = m_agent->VarField(found);
            REQUIRE(f && f->usagePage == page && f->usage == usage &&
                    static_cast<std::int32_t>(f->reportType) == type);
        }
        break;
    }
    case 11:
        m_agent->CloseAllIntfs();
        REQUIRE(m_agent->OpenIntfCount() == 0 && m_openHandles.empty());
        break;
    case 12:
        m_agent->setVerbose(!m_agent->Verbose());
        break;
    case 13: {
        const std::int32_t mode = static_cast<std::int32_t>(m_script.byte() % 5) - 1;
        try {
            m_agent->SetVarScaleMode(mode);
            REQUIRE(mode >= 0 && mode <= 2 && m_agent->VarScaleMode() == mode);
        } catch (const ErrorRecord &e) {
            REQUIRE(e.code() == HidAgent::ErrNoCurrentVar || e.code() == HidAgent::ErrBadScaleMode);
        }
        const std::int32_t i = pickIndex(varCount());
        const bool bad = i < 0 || i >= varCount();
        expect(bad, HidAgent::ErrVarIndexOutOfRange, [&] { m_agent->VarIsButton(i); });
        expect(bad, HidAgent::ErrVarIndexOutOfRange, [&] {
            const std::int32_t r = m_agent->VarRptIndex(i);
            REQUIRE(r >= 0 && r < rptCount());
        });
        expect(bad, HidAgent::ErrVarIndexOutOfRange, [&] { m_agent->SetVarName(i, QStringLiteral("x")); });
        break;
    }
    case 14: {
        // Out and back in before the event loop runs, perhaps as another device.
        const std::size_t k = m_script.byte() % devices;
        const std::uint8_t how = m_script.byte();
        m_transport->unplug(k);
        if (how & 1)
            m_transport->setDescriptor(k, m_script.bytes(m_script.u16() % 512));
        m_transport->plug(k);
        break;
    }
    default: {
        const std::uint8_t how = m_script.byte();
        m_agent->setSearchOnVID(how & 1);
        m_agent->setSearchOnPID(how & 2);
        m_agent->setVID_To_Match((how & 4) ? m_script.u16() : ThermostatVid);
        m_agent->setPID_To_Match((how & 8) ? m_script.u16() : ThermostatPid);
        break;
    }
    }
}

void Driver::checkState()
{
    REQUIRE(m_agent->OpenIntfCount() == openCount());
    // Every listed interface holds its connection until it is closed, no longer.
    REQUIRE(m_transport->liveConnections() == std::size_t(openCount()));
    const std::int32_t current = m_agent->CurrentRptNum();
    REQUIRE(current >= -1 && current < rptCount());
}

void Driver::checkAfterEvents()
{
    checkState();
    // A removed device leaves nothing open once its notice has been handled,
    // and no device is open twice.
    std::vector<bool> open(m_transport->deviceCount(), false);
    for (std::int32_t p = 0; p < m_agent->OpenIntfCount(); ++p) {
        const QString name = m_agent->IntfName(p);
        const int at = name.lastIndexOf(QStringLiteral("(fuzz:"));
        REQUIRE(at >= 0);
        const std::size_t k = name.mid(at + 6).chopped(1).toUInt();
        REQUIRE(k < m_transport->deviceCount() && m_transport->device(k).plugged && !open[k]);
        open[k] = true;
    }
}

void Driver::run()
{
    const std::uint8_t header = m_input.byte();
    readDevices(header);
    m_script = m_input.split(m_input.u16());
    m_responses = m_input;

    m_agent = std::make_unique<HidAgent>(m_transport);
    connectEvents();

    // What the main window does at start.
    m_agent->setShowOperations(false);
    m_agent->setVerbose(header & 0x08);
    m_agent->Activate();
    m_agent->setVID_To_Match(ThermostatVid);
    m_agent->setPID_To_Match(ThermostatPid);
    m_agent->setSearchOnPID(!(header & 0x04));
    m_agent->setSearchOnVID(!(header & 0x04));
    m_agent->OpenMatchingIntfs();
    m_startingUp = false;
    checkState();

    int steps = 0;
    while (!m_script.empty() && ++steps < 512) {
        step(m_script.byte());
        checkState();
    }
    processEvents();

    // What the main window does at exit.
    m_agent->CloseAllIntfs();
    REQUIRE(m_agent->OpenIntfCount() == 0 && m_openHandles.empty());
    REQUIRE(m_transport->liveConnections() == 0);
    processEvents();
    m_agent.reset();
    for (int pass = 0; pass < 4; ++pass)
        QCoreApplication::sendPostedEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // One application for the whole run; queued closes need its event queue.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Driver driver(data, size);
    driver.run();
    return 0;
}
