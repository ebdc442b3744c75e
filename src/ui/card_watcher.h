#pragma once
// Offers a camera card the moment it is mounted, while the window is open:
// the mount table's change wakes the event loop, and the drives new since the
// last look go to the window's offer. While held (a run, a question on
// screen) arrivals wait, and are offered when the last hold is released.

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "app/cards/media_arrivals.h"
#include "model/drive_list.h"

class QSocketNotifier;

namespace ravlen {
class MountTableWatch;
}

namespace ravlen::ui {

class CardWatcher : public QObject {
public:
    using Offer = std::function<void(const std::vector<DriveInfo>& arrived)>;

    // What `drives` lists now counts as seen.
    CardWatcher(DriveList& drives, Offer offer, QObject* parent);
    ~CardWatcher() override;

    void Hold();
    void Release();

    // The mount table changed: offers what arrived, or keeps it for later.
    void MountTableChanged();

private:
    std::unique_ptr<MountTableWatch> watch_;
    QSocketNotifier* notifier_ = nullptr;
    MediaArrivals arrivals_;
    Offer offer_;
    int holds_ = 0;
    bool pending_ = false;
};

}  // namespace ravlen::ui
