#pragma once
// A small tmpfs mounted for one test (a card, a disk that fills up or turns
// read-only), unmounted at the test's end. Mounting needs privileges: a test
// skips where it is refused.

#include <sys/mount.h>

#include <string>

namespace ravlen::test {

class TmpfsMount {
public:
    TmpfsMount(std::string at, const std::string& size) : at_(std::move(at)) {
        mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_) umount2(at_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool Mounted() const { return mounted_; }
    bool MakeReadOnly() const { return mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    std::string at_;
    bool mounted_ = false;
};

}  // namespace ravlen::test
