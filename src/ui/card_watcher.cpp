#include "ui/card_watcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include "platform/mount_watch.h"

namespace ravlen::ui {

CardWatcher::CardWatcher(DriveList& drives, Offer offer, QObject* parent)
    : QObject(parent), watch_(std::make_unique<MountTableWatch>()), arrivals_(drives), offer_(std::move(offer)) {
    if (!watch_->Valid()) return;
    // The kernel tells a change as an exceptional condition (POLLPRI).
    notifier_ = new QSocketNotifier(watch_->Descriptor(), QSocketNotifier::Exception, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CardWatcher::MountTableChanged);
}

CardWatcher::~CardWatcher() = default;

void CardWatcher::Hold() { ++holds_; }

void CardWatcher::Release() {
    if (holds_ > 0) --holds_;
    // From the event loop, once whoever held has finished.
    if (holds_ == 0 && pending_) QTimer::singleShot(0, this, &CardWatcher::MountTableChanged);
}

void CardWatcher::MountTableChanged() {
    if (holds_ > 0) {
        pending_ = true;
        return;
    }
    pending_ = false;
    const std::vector<DriveInfo> arrived = arrivals_.Arrived();
    if (arrived.empty() || !offer_) return;
    // A card mounted while the question is on screen waits for the answer.
    Hold();
    offer_(arrived);
    Release();
}

}  // namespace ravlen::ui
