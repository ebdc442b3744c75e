#include "ui/device_watcher.h"

#include <QTimer>
#include <algorithm>

namespace ravlen::ui {

namespace {

// How often the watcher sees whether a look is due; the looks themselves are
// at least DeviceArrivals::kLookInterval apart.
constexpr int kTickMs = 500;

bool SameDevices(const std::vector<DeviceInfo>& a, const std::vector<DeviceInfo>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const DeviceInfo& x, const DeviceInfo& y) {
        return x.Model == y.Model && x.Port == y.Port;
    });
}

}  // namespace

DeviceWatcher::DeviceWatcher(std::shared_ptr<DeviceLister> lister, Listed listed, Offer offer, QObject* parent)
    : QObject(parent), lister_(std::move(lister)), listed_(std::move(listed)), offer_(std::move(offer)),
      timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &DeviceWatcher::Tick);
    timer_->start(kTickMs);
    QTimer::singleShot(0, this, &DeviceWatcher::Tick);
}

DeviceWatcher::~DeviceWatcher() { Join(); }

void DeviceWatcher::Join() {
    if (worker_.joinable()) worker_.join();
}

void DeviceWatcher::Hold() {
    arrivals_.Hold();
    Join();
}

void DeviceWatcher::Release() {
    arrivals_.Release();
    // From the event loop, once whoever held has finished.
    if (!arrivals_.Held()) QTimer::singleShot(0, this, &DeviceWatcher::OfferArrived);
}

void DeviceWatcher::Tick() {
    const auto now = DeviceArrivals::Clock::now();
    if (!arrivals_.Due(now)) return;
    Join();
    // libgphoto2 may take a while over a port: never on the window's thread.
    worker_ = std::thread([this, lister = lister_, request = arrivals_.Begin(now)] {
        DeviceArrivals::Look look = DeviceArrivals::Perform(*lister, request);
        QMetaObject::invokeMethod(this, [this, look = std::move(look)] { Looked(look); }, Qt::QueuedConnection);
    });
}

void DeviceWatcher::LookNow() {
    Join();
    const auto now = DeviceArrivals::Clock::now();
    Looked(DeviceArrivals::Perform(*lister_, arrivals_.Begin(now)));
}

void DeviceWatcher::Looked(const DeviceArrivals::Look& look) {
    arrivals_.Take(look);
    std::vector<DeviceInfo> present = arrivals_.Present();
    if (look.ok && (!listedOnce_ || !SameDevices(present, shown_))) {
        listedOnce_ = true;
        shown_ = std::move(present);
        if (listed_) listed_(shown_);
    }
    OfferArrived();
}

void DeviceWatcher::OfferArrived() {
    const std::vector<DeviceInfo> arrived = arrivals_.TakeOffers();
    if (arrived.empty() || !offer_) return;
    // A device plugged in while the question is on screen waits for the answer.
    Hold();
    offer_(arrived);
    Release();
}

}  // namespace ravlen::ui
