#pragma once
// A small in-memory file system for engine tests: folders and files by path,
// listed in name order, with every change recorded and faults to inject.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/file_system.h"

namespace ravlen::test {

class FakeFs : public FileSystem {
public:
    std::map<std::string, FsItem> items;  // by full path
    std::set<std::string> unlistable;     // folders whose listing fails
    std::set<std::string> refuseMoveFrom; // folders whose files cannot be moved away
    std::set<std::string> refuseCreate;   // folders that cannot be created
    std::vector<std::string> changes;     // "move a b", "copy a b", "mkdir p", "rmdir p"
    int existenceTests = 0;
    int listings = 0;

    explicit FakeFs(const std::string& root = "/r") { AddFolder(root); }

    void AddFolder(const std::string& path, int attributes = 0) {
        FsItem item;
        item.Name = Name(path);
        item.Path = path;
        item.IsFolder = true;
        item.Attributes = attributes;
        items[path] = item;
    }
    void AddFile(const std::string& path, DateTime modified = {}, int attributes = 0) {
        FsItem item;
        item.Name = Name(path);
        item.Path = path;
        item.Size = 100;
        item.Attributes = attributes;
        item.Created = item.Modified = modified;
        items[path] = item;
    }
    bool Has(const std::string& path) const { return items.count(path) != 0; }
    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> out;
        for (const auto& [path, item] : items)
            if (Parent(path) == folder && path != folder) out.push_back(item.Name);
        return out;
    }

    bool FolderExists(const std::string& path) override { return Is(path, true); }
    bool FileExists(const std::string& path) override {
        ++existenceTests;
        return Is(path, false);
    }
    std::optional<FolderRef> GetFolder(const std::string& path) override {
        if (!Is(path, true)) return std::nullopt;
        return FolderRef{path, path == "/", ParentPart(path)};
    }
    FsStatus CreateFolder(const std::string& path) override {
        if (Has(path)) return FsStatus::Fail("File exists");
        if (refuseCreate.count(path) || !Is(ParentPart(path), true)) return FsStatus::Fail("Permission denied");
        changes.push_back("mkdir " + path);
        AddFolder(path);
        return FsStatus::Ok();
    }
    FsStatus DeleteFolder(const std::string& path) override {
        if (CountItems(path) != 0) return FsStatus::Fail("Directory not empty");
        changes.push_back("rmdir " + path);
        items.erase(path);
        return FsStatus::Ok();
    }
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override {
        ++listings;
        files.clear();
        folders.clear();
        if (unlistable.count(path) || !Is(path, true)) return false;
        for (const auto& [p, item] : items)
            if (p != path && Parent(p) == path) (item.IsFolder ? folders : files).push_back(item);
        return true;
    }
    int CountItems(const std::string& path) override {
        if (!Is(path, true)) return -1;
        int n = 0;
        for (const auto& [p, item] : items) n += (p != path && Parent(p) == path);
        return n;
    }
    std::optional<FsItem> GetFile(const std::string& path) override {
        if (!Is(path, false)) return std::nullopt;
        return items[path];
    }
    std::string TypeDescription(const std::string&) override { return "File"; }
    std::unique_ptr<ReadStream> OpenRead(const std::string&, std::string& error) override {
        error = "Permission denied";
        return nullptr;
    }
    FsStatus MoveFile(const std::string& from, const std::string& to) override {
        if (refuseMoveFrom.count(ParentPart(from))) return FsStatus::Fail("Read-only file system");
        FsStatus s = Check(from, to);
        if (!s) return s;
        changes.push_back("move " + from + " " + to);
        FsItem item = items[from];
        items.erase(from);
        item.Name = Name(to);
        item.Path = to;
        items[to] = item;
        return s;
    }
    FsStatus CopyFile(const std::string& from, const std::string& to) override {
        FsStatus s = Check(from, to);
        if (!s) return s;
        changes.push_back("copy " + from + " " + to);
        FsItem item = items[from];
        item.Name = Name(to);
        item.Path = to;
        items[to] = item;
        return s;
    }
    std::unique_ptr<TextFile> CreateTextFile(const std::string&, std::string& error) override {
        error = "Permission denied";
        return nullptr;
    }
    std::string DrivePart(const std::string& path) override { return path.starts_with("/") ? "/" : ""; }
    std::string ParentPart(const std::string& path) override { return Parent(path); }
    static std::string Parent(const std::string& path) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos) return "";
        return slash == 0 ? "/" : path.substr(0, slash);
    }

private:
    static std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }
    bool Is(const std::string& path, bool folder) const {
        const auto it = items.find(path);
        return it != items.end() && it->second.IsFolder == folder;
    }
    FsStatus Check(const std::string& from, const std::string& to) const {
        if (!Is(from, false)) return FsStatus::Fail("No such file or directory");
        if (Has(to)) return FsStatus::Fail("File exists");
        if (!Is(Parent(to), true)) return FsStatus::Fail("No such file or directory");
        return FsStatus::Ok();
    }
};

}  // namespace ravlen::test
