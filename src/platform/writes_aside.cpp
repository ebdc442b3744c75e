#include "platform/writes_aside.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/posix_common.h"

namespace ravlen {

using posix_fs::FinishCopy;
using posix_fs::WriteWhole;

WritesAside::WritesAside(Writer write, std::size_t pieceBytes) : write_(std::move(write)), pieceBytes_(pieceBytes) {}

WritesAside::~WritesAside() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    work_.notify_one();
    if (thread_.joinable()) thread_.join();
}

bool WritesAside::Ready() {
    if (thread_.joinable()) return true;
    if (failed_) return false;
    try {
        thread_ = std::thread(&WritesAside::Run, this);
    } catch (const std::system_error&) {
        failed_ = true;  // no thread: every copy is written in turn, as before
    }
    return thread_.joinable();
}

WritesAside::Piece* WritesAside::Take() {
    std::unique_lock<std::mutex> hold(lock_);
    if (free_.empty() && pieces_.size() < kPieces) {
        pieces_.push_back(std::make_unique<Piece>());
        pieces_.back()->bytes.reset(new char[pieceBytes_]);
        return pieces_.back().get();
    }
    done_.wait(hold, [this] { return !free_.empty(); });
    Piece* piece = free_.back();
    free_.pop_back();
    return piece;
}

void WritesAside::Give(Piece* piece) {
    const std::lock_guard<std::mutex> hold(lock_);
    free_.push_back(piece);
}

void WritesAside::Add(Piece* piece, const std::vector<std::shared_ptr<Copy>>& copies) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        piece->users = copies.size();
        for (const std::shared_ptr<Copy>& copy : copies) {
            ++copy->queued;
            jobs_.push_back({copy, piece, {}});
        }
        if (copies.empty()) free_.push_back(piece);
    }
    work_.notify_one();
}

void WritesAside::Finish(const std::shared_ptr<Copy>& copy, const struct stat& source) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        ++copy->queued;
        jobs_.push_back({copy, nullptr, source});
    }
    work_.notify_one();
}

void WritesAside::Settle(const Copy& copy) {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [&] { return copy.queued == 0; });
}

void WritesAside::Drain() {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return jobs_.empty() && !busy_; });
}

void WritesAside::Trim() {
    Drain();  // only the thread that queues calls this: nothing comes after
    const std::lock_guard<std::mutex> hold(lock_);
    // Every piece is free once nothing is queued.
    free_.clear();
    pieces_.clear();
}

void WritesAside::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        work_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, nothing left
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        // A copy that failed takes nothing more; its outcome stands.
        const bool live = job.copy->status.ok;
        const int fd = job.copy->fd;
        hold.unlock();
        FsStatus status = FsStatus::Ok();
        struct stat finished{};
        if (live && job.piece) status = WriteWhole(write_, fd, job.piece->bytes.get(), job.piece->size);
        else if (live) status = FinishCopy(fd, job.source, finished);
        hold.lock();
        busy_ = false;
        if (!status.ok && job.copy->status.ok) job.copy->status = std::move(status);
        if (live && !job.piece && job.copy->status.ok) job.copy->finished = finished;
        if (job.piece && --job.piece->users == 0) free_.push_back(job.piece);
        --job.copy->queued;
        done_.notify_all();
    }
}

}  // namespace ravlen
