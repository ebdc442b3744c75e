#include "engine/card_verdict.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <map>

#include "platform/posix_file_system.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::TempDir;

// The real file system, counting the whole-file hashes it takes.
class HashCounting : public PosixFileSystem {
public:
    std::map<std::string, int> hashed;
    FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) override {
        ++hashed[path];
        return PosixFileSystem::ContentHash(path, hash, pump);
    }
};

// A record of imports in memory: placed paths by size, and stamped hashes.
class MemoryRecord : public ImportRecord {
public:
    std::vector<ImportedFile> files;
    std::map<std::string, std::pair<FileStamp, std::string>> stamped;
    bool atOnce = true;  // gives what it holds of a folder at once, as the SQLite record does
    std::optional<std::vector<ImportedFile>> RecordedIn(const std::string& folder) override {
        if (!atOnce) return std::nullopt;
        std::vector<ImportedFile> found;
        for (const ImportedFile& f : files)
            if (f.Path.rfind(folder + "/", 0) == 0) found.push_back(f);
        return found;
    }
    std::optional<std::vector<KeptHash>> StampedHashesIn(const std::string& folder) override {
        if (!atOnce) return std::nullopt;
        std::vector<KeptHash> found;
        for (const auto& [path, kept] : stamped)
            if (path.rfind(folder + "/", 0) == 0) found.push_back({path, kept.first, kept.second});
        return found;
    }
    std::optional<std::vector<std::int64_t>> Sizes(const std::string&) override {
        std::vector<std::int64_t> sizes;
        for (const ImportedFile& f : files) sizes.push_back(f.Size);
        return sizes;
    }
    std::vector<ImportedFile> WithSize(std::int64_t size, const std::string& folder) override {
        std::vector<ImportedFile> found;
        for (const ImportedFile& f : files)
            if (f.Size == size && f.Path.rfind(folder + "/", 0) == 0) found.push_back(f);
        return found;
    }
    void Add(const ImportedFile& file, const std::string&) override { files.push_back(file); }
    void KeepHash(const std::string&, DateTime, const std::string&) override {}
    void Forget(const std::string&) override {}
    std::string StampedHash(const std::string& path, const FileStamp& stamp) override {
        const auto kept = stamped.find(path);
        return kept != stamped.end() && kept->second.first == stamp ? kept->second.second : std::string();
    }
    void KeepStampedHash(const std::string& path, const FileStamp& stamp, const std::string& hash) override {
        stamped[path] = {stamp, hash};
    }
};

struct Card {
    TempDir dir;
    std::string card = dir.Mkdir("card"), out = dir.Mkdir("out"), bak = dir.Mkdir("bak");
    HashCounting fs;
    MemoryRecord record;
    CardCheckRequest request;
    Card() {
        request.Source = card, request.Output = out, request.Backups = {bak};
        request.Filter.IncludeSubfolders = request.Filter.ExcludeHidden = true;
        request.Filter.ExcludePatterns = "*.ctg";
        request.DcfNamesOnly = true;
    }
    // A file on the card, and its copies under other names where asked.
    void Shot(const std::string& name, const std::string& bytes, bool inOut, bool inBak, bool recorded = true) {
        dir.Write("card/" + name, bytes);
        const std::string placed = "2024/" + std::filesystem::path(name).filename().string() + ".jpg";
        if (inOut) dir.Write("out/" + placed, bytes);
        if (inBak) dir.Write("bak/" + placed, bytes);
        if (inOut && recorded) record.files.push_back({out + "/" + placed, static_cast<std::int64_t>(bytes.size()), "", {}});
    }
    CardVerdict Check() { return CheckCard(fs, fs, &record, request); }
    // Each file not safe, by its path below the card, with its reason.
    static std::map<std::string, UnsafeReason> Reasons(const CardVerdict& v) {
        std::map<std::string, UnsafeReason> reasons;
        for (const UnsafeFile& f : v.Unsafe) reasons[f.Path.substr(v.Source.size() + 1)] = f.Reason;
        return reasons;
    }
};

TEST(CardVerdict, NamesEveryFileNotHeldWithItsReason) {
    Card c;
    c.Shot("DCIM/IMG_0001.JPG", "safe everywhere", true, true);
    c.Shot("DCIM/IMG_0002.JPG", "found by content only", true, true, false);
    c.Shot("DCIM/IMG_0003.JPG", "not in the backup", true, false);
    c.Shot("DCIM/IMG_0004.JPG", "changed in output", false, true);
    c.dir.Write("out/2024/IMG_0004.JPG.jpg", "CHANGED IN OUTPUT");  // same size, other bytes
    c.Shot("DCIM/.IMG_0005.JPG", "hidden", false, false);
    c.Shot("DCIM/holiday.jpg", "non-DCF", false, false);
    c.Shot("DCIM/IMG_0006.JPG", "failed", false, false);
    c.Shot("DCIM/IMG_0007.JPG", "no metadata", false, false);
    c.Shot("DCIM/IMG_0008.JPG", "not chosen", false, false);
    c.Shot("DCIM/CANONMSC.CTG", "index", false, false);
    c.Shot("MISC/.Trashes/IMG_0009.JPG", "in a hidden folder", false, false);
    // A device's download and a copy not yet named hold the bytes, and are no copies.
    c.dir.Write("out/.ravlen-device-123-abcdef/7", "failed");
    c.dir.Write("out/2024/.ravlen-partial-123-8", "no metadata");
    c.request.RunReasons = {{c.card + "/DCIM/IMG_0006.JPG", UnsafeReason::Failed},
                            {c.card + "/DCIM/IMG_0007.JPG", UnsafeReason::UnsupportedKind},
                            {c.card + "/DCIM/IMG_0008.JPG", UnsafeReason::NotSelected}};
    const CardVerdict v = c.Check();
    EXPECT_FALSE(v.Safe());
    EXPECT_EQ(v.Checked, 10) << VerdictText(v);
    const std::map<std::string, UnsafeReason> expected{
        {"DCIM/IMG_0003.JPG", UnsafeReason::NoBackup},        {"DCIM/IMG_0004.JPG", UnsafeReason::NotInOutput},
        {"DCIM/.IMG_0005.JPG", UnsafeReason::Filtered},       {"DCIM/holiday.jpg", UnsafeReason::NonDcfName},
        {"DCIM/IMG_0006.JPG", UnsafeReason::Failed},          {"DCIM/IMG_0007.JPG", UnsafeReason::UnsupportedKind},
        {"DCIM/IMG_0008.JPG", UnsafeReason::NotSelected},     {"MISC/.Trashes/IMG_0009.JPG", UnsafeReason::Filtered},
    };
    EXPECT_EQ(Card::Reasons(v), expected);
    ASSERT_EQ(v.LeftByPattern.size(), 1u);
    const std::string text = VerdictText(v, 3);
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              "8 files on " + c.card + " are not in " + c.out + ": do not format the card.");
    EXPECT_NE(text.find("\r\n  DCIM/.IMG_0005.JPG: excluded by a filter (hidden)\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  and 5 more.\r\n\r\n1 file stays on the card, left out by the exclude patterns"),
              std::string::npos) << text;

    // A subfolder the run does not walk is a filter too; a card that is its own output holds no copy.
    c.request.Filter.IncludeSubfolders = false;
    const std::map<std::string, UnsafeReason> unwalked = Card::Reasons(c.Check());
    EXPECT_EQ(unwalked.at("DCIM/holiday.jpg"), UnsafeReason::Filtered);
    EXPECT_FALSE(unwalked.contains("DCIM/IMG_0001.JPG"));  // held all the same
    c.request.Output = c.card, c.request.Backups.clear();
    const CardVerdict self = c.Check();
    EXPECT_EQ(self.Unsafe.size(), 10u);  // a file is no copy of itself
}

class CardVerdictRecord : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(AtOnceOrFileByFile, CardVerdictRecord, testing::Bool());

TEST_P(CardVerdictRecord, SafeCardHashesEachFileOnceAndKeepsTheHashes) {
    Card c;
    c.record.atOnce = GetParam();
    c.Shot("DCIM/IMG_0001.JPG", "first photo", true, true);
    c.Shot("DCIM/IMG_0002.JPG", "second photo!", true, true);
    c.Shot("DCIM/IMG_0003.JPG", "third photo!!", true, true);  // the size of the second
    c.dir.Write("out/unrelated.jpg", "a size no card file has");
    const CardVerdict v = c.Check();
    ASSERT_TRUE(v.Safe()) << VerdictText(v);
    EXPECT_EQ(VerdictText(v), "All 3 files on " + c.card + " are in " + c.out +
                                  " and its backups: the card can be formatted.");
    for (const auto& [path, times] : c.fs.hashed) EXPECT_EQ(times, 1) << path;
    EXPECT_FALSE(c.fs.hashed.contains(c.out + "/unrelated.jpg"));
    EXPECT_EQ(c.fs.hashed.size(), 9u);  // 3 on the card, 3 in each destination

    // A second check reads nothing; a card file touched since is hashed again.
    c.fs.hashed.clear();
    EXPECT_TRUE(c.Check().Safe());
    EXPECT_TRUE(c.fs.hashed.empty());
    const std::string touched = c.card + "/DCIM/IMG_0001.JPG";
    const utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(utime(touched.c_str(), &old), 0);
    EXPECT_TRUE(c.Check().Safe());
    EXPECT_EQ(c.fs.hashed, (std::map<std::string, int>{{touched, 1}}));

    // A copy replaced by another file of its size and time is another file: hashed again, and not safe.
    const std::string copy = c.out + "/2024/IMG_0002.JPG.jpg";
    struct stat before {};
    ASSERT_EQ(stat(copy.c_str(), &before), 0);
    c.dir.Write("out/2024/other", "SECOND PHOTO!");
    std::filesystem::rename(c.out + "/2024/other", copy);
    const utimbuf same{before.st_atime, before.st_mtime};
    ASSERT_EQ(utime(copy.c_str(), &same), 0);
    EXPECT_EQ(Card::Reasons(c.Check()), (std::map<std::string, UnsafeReason>{{"DCIM/IMG_0002.JPG", UnsafeReason::NotInOutput}}));
}

TEST(CardVerdict, BackupNotThereLeavesEveryFileWithoutBackup) {
    Card c;
    c.Shot("IMG_0001.JPG", "photo", true, false);
    c.request.Backups.push_back(c.dir / "unplugged");
    c.request.Backups.erase(c.request.Backups.begin());
    const CardVerdict v = c.Check();
    ASSERT_EQ(v.Unsafe.size(), 1u);
    EXPECT_EQ(v.Unsafe[0].Reason, UnsafeReason::NoBackup);
    EXPECT_EQ(v.Unsafe[0].Detail, c.dir / "unplugged");
    EXPECT_EQ(VerdictText(v).substr(0, VerdictText(v).find("\r\n")),
              "1 file on " + c.card + " is not in " + c.out + ": do not format the card.");
}

}  // namespace
}  // namespace ravlen
