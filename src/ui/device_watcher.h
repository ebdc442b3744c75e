#pragma once
// Offers a camera or phone plugged in while the window is open, as a card
// mounted is offered: every two seconds while the window is idle the USB
// ports are listed on a thread of their own, and the devices new since the
// last look go to the window's offer. While held (a run, a dialog using a
// device, a question on screen) no look begins, and arrivals are offered when
// the last hold is released.

#include <QObject>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/devices/device_arrivals.h"

class QTimer;

namespace ravlen::ui {

class DeviceWatcher : public QObject {
public:
    using Listed = std::function<void(const std::vector<DeviceInfo>& present)>;
    using Offer = std::function<void(const std::vector<DeviceInfo>& arrived)>;

    // `listed` hears of the devices there whenever they change, the first
    // look's too; `offer` of those plugged in after it.
    DeviceWatcher(std::shared_ptr<DeviceLister> lister, Listed listed, Offer offer, QObject* parent);
    ~DeviceWatcher() override;

    // Waits for a look under way: the devices are the holder's until Release.
    void Hold();
    void Release();

    // A look due now is made here, at once (for the tests).
    void LookNow();

private:
    void Tick();
    void Looked(const DeviceArrivals::Look& look);
    void OfferArrived();
    void Join();

    std::shared_ptr<DeviceLister> lister_;
    DeviceArrivals arrivals_;
    Listed listed_;
    Offer offer_;
    QTimer* timer_ = nullptr;
    std::thread worker_;
    std::vector<DeviceInfo> shown_;
    bool listedOnce_ = false;
};

}  // namespace ravlen::ui
