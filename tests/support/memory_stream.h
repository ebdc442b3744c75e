#pragma once
// A read stream over bytes in memory, and a user port that does nothing: for
// reader tests and fuzz targets that need no disk.

#include <algorithm>
#include <string>
#include <string_view>

#include "model/file_system.h"
#include "model/user_port.h"

namespace ravlen::test {

class MemoryStream : public ReadStream {
public:
    explicit MemoryStream(std::string_view bytes) : bytes_(bytes) {}
    FsStatus Read(std::size_t n, std::string& out) override {
        ++reads;
        if (n > bytes_.size() - pos_) return FsStatus::Fail(FsFault::PastEnd, "Input past end of file");
        out.append(bytes_.substr(pos_, n));
        pos_ += n;
        bytesRead += n;
        return FsStatus::Ok();
    }
    FsStatus Skip(std::uint64_t n) override {
        ++skips;
        if (n > bytes_.size() - pos_) return FsStatus::Fail(FsFault::PastEnd, "Input past end of file");
        pos_ += static_cast<std::size_t>(n);
        return FsStatus::Ok();
    }
    bool GoBack(std::uint64_t offset) override {
        if (frontToBack || offset > pos_) return false;
        pos_ = static_cast<std::size_t>(offset);
        ++goneBack;
        return true;
    }
    void Close() override { closed = true; }

    bool frontToBack = false;  // as a device's stream: no going back
    int goneBack = 0;
    int reads = 0;
    int skips = 0;
    std::size_t bytesRead = 0;
    bool closed = false;

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

class NullPort : public UserPort {
public:
    MsgAnswer MessageBox(const std::string&, MsgIcon, MsgButtons b, const std::string&) override {
        return b == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::No;
    }
    void SetBusy(bool) override {}
    void SetMainWindowEnabled(bool) override {}
    void ProgressSetTitle(const std::string&) override {}
    void ProgressSetMessage(const std::string&) override {}
    void ProgressSetRange(int, int) override {}
    void ProgressSetValue(int) override {}
    void ProgressSetButtonCaption(const std::string&) override {}
    void ProgressShow() override {}
    void ProgressHide() override {}
    void SetCancel(bool c) override { cancel_ = c; }
    bool Cancel() const override { return cancel_; }
    void PumpEvents() override {}

private:
    bool cancel_ = false;
};

}  // namespace ravlen::test
