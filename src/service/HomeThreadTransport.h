#pragma once

#include "HidTransport.h"

#include <memory>

// A transport shared by threads: enumerate() and open() always run on the
// thread the real transport lives on (the service's main thread), so its
// own state (the udev monitor, the nodes it knows, their arrival times)
// is only ever touched there. A call from another thread waits for the main
// thread to do it. The connections it hands out belong to the caller and
// are used on the caller's thread; hot-plug notices pass through.
class HomeThreadTransport : public HidTransport
{
    Q_OBJECT
public:
    explicit HomeThreadTransport(std::shared_ptr<HidTransport> inner);

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidConnection> open(const QString &path, QString *error = nullptr) override;

private:
    std::shared_ptr<HidTransport> m_inner;
};
