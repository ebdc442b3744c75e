#pragma once
// A file's further copies (its backup copies) written on a thread of their
// own, from the pieces the run's thread read once: that thread writes the
// file's own copy and goes on with the next file meanwhile. Each copy's
// outcome stands once its queued pieces are written; the copy's owner waits
// for it before it names, reads back, flushes or closes the copy.

#include <sys/stat.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "model/file_source.h"

namespace ravlen {

class WritesAside {
public:
    // Writes up to n bytes to fd; the count written, or -1 with errno set.
    using Writer = std::function<long(int fd, const char* bytes, unsigned long n)>;
    // Pieces read and not yet written aside, at most: the reading waits for room.
    static constexpr std::size_t kPieces = 32;

    // One copy written aside.
    struct Copy {
        int fd = -1;
        FsStatus status = FsStatus::Ok();  // the first failure; stands once Settled
        struct stat finished{};             // the whole copy once its time is set
        std::size_t queued = 0;             // pieces and ends not yet done
    };
    // A piece of the file read, shared by the copies it goes to.
    struct Piece {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        std::size_t users = 0;
    };

    WritesAside(Writer write, std::size_t pieceBytes);
    ~WritesAside();
    WritesAside(const WritesAside&) = delete;
    WritesAside& operator=(const WritesAside&) = delete;

    // Whether copies can be written aside at all (the thread could start).
    bool Ready();
    // A piece to read into; waits while kPieces are out.
    Piece* Take();
    // The piece unused (nothing to write it to).
    void Give(Piece* piece);
    // Queues the piece's bytes (its `size`) for each of `copies`.
    void Add(Piece* piece, const std::vector<std::shared_ptr<Copy>>& copies);
    // Queues the copy's end: the source's dates given to it, its facts taken
    // and its size checked against `source`.
    void Finish(const std::shared_ptr<Copy>& copy, const struct stat& source);
    // Waits until everything queued for the copy is done: its outcome stands.
    void Settle(const Copy& copy);
    // Waits until everything queued is done.
    void Drain();
    // Drains, and lets go of the pieces' memory until the next Take.
    void Trim();

private:
    struct Job {
        std::shared_ptr<Copy> copy;
        Piece* piece = nullptr;  // null: the copy's end
        struct stat source{};
    };
    void Run();

    Writer write_;
    std::size_t pieceBytes_;
    std::mutex lock_;
    std::condition_variable work_, done_;
    std::deque<Job> jobs_;
    std::vector<std::unique_ptr<Piece>> pieces_;  // every piece made
    std::vector<Piece*> free_;
    bool stopping_ = false, failed_ = false, busy_ = false;
    std::thread thread_;
};

}  // namespace ravlen
