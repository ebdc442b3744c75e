#pragma once
// A file system for the log tests: log files are created for real (exclusively,
// in a temporary folder), while the facts of the logged files come from a
// table, and creation or single writes can be made to fail.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/file_system.h"

namespace ravlen::test {

class LogTestFs : public FileSystem {
public:
    std::map<std::string, FsItem> files;        // what GetFile reports, by path
    std::map<std::string, std::string> types;   // what TypeDescription reports
    std::vector<std::string> asked;             // every path GetFile was asked about
    bool refuseCreate = false;                  // as a read-only folder would
    std::set<int> failingWrites;                // 1-based numbers of writes that fail
    int writes = 0;

    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override {
        if (refuseCreate) {
            error = std::strerror(EACCES);
            return nullptr;
        }
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = std::strerror(errno);
            return nullptr;
        }
        return std::make_unique<File>(fd, *this);
    }
    std::optional<FsItem> GetFile(const std::string& path) override {
        asked.push_back(path);
        const auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
    std::string TypeDescription(const std::string& path) override {
        const auto it = types.find(path);
        return it == types.end() ? std::string("File") : it->second;
    }

    bool FolderExists(const std::string&) override { return true; }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    std::optional<FolderRef> GetFolder(const std::string& path) override { return FolderRef{path, false, ""}; }
    FsStatus CreateFolder(const std::string&) override { return FsStatus::Ok(); }
    FsStatus DeleteFolder(const std::string&) override { return FsStatus::Ok(); }
    bool ListFolder(const std::string&, std::vector<FsItem>&, std::vector<FsItem>&) override { return false; }
    int CountItems(const std::string&) override { return -1; }
    std::unique_ptr<ReadStream> OpenRead(const std::string&, std::string& error) override {
        error = "not used";
        return nullptr;
    }
    FsStatus MoveFile(const std::string&, const std::string&) override { return FsStatus::Fail("not used"); }
    FsStatus CopyFile(const std::string&, const std::string&) override { return FsStatus::Fail("not used"); }
    std::string DrivePart(const std::string&) override { return "/"; }
    std::string ParentPart(const std::string&) override { return ""; }

private:
    class File : public TextFile {
    public:
        File(int fd, LogTestFs& fs) : fd_(fd), fs_(fs) {}
        ~File() override { Close(); }
        FsStatus Write(std::string_view text) override {
            if (fs_.failingWrites.count(++fs_.writes)) return FsStatus::Fail(std::strerror(ENOSPC));
            if (fd_ < 0 || ::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
                return FsStatus::Fail(std::strerror(errno));
            return FsStatus::Ok();
        }
        FsStatus Close() override {
            if (fd_ >= 0) ::close(fd_);
            fd_ = -1;
            return FsStatus::Ok();
        }

    private:
        int fd_;
        LogTestFs& fs_;
    };
};

// Lines of a CR LF text; false when any line ends otherwise or the last line is unterminated.
inline bool SplitCrLf(const std::string& text, std::vector<std::string>& lines) {
    lines.clear();
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find("\r\n", from);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(from, end - from);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) return false;
        lines.push_back(line);
        from = end + 2;
    }
    return true;
}

// A strict RFC 4180 reader: records end with CR LF, a quoted field may hold
// commas, CR, LF and doubled quotes. False on any malformed input.
inline bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>& records) {
    records.clear();
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= text.size()) return false;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') { field += '"'; i += 2; continue; }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                if (text[i] == '"') return false;
                field += text[i++];
            }
        }
        if (i < text.size() && text[i] == ',') {
            record.push_back(std::move(field));
            field.clear();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
            i += 2;
        } else {
            return false;
        }
    }
    return record.empty() && field.empty();
}

}  // namespace ravlen::test
