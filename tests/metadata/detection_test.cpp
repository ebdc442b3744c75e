#include <gtest/gtest.h>

#include <map>

#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

// Format detection by the first eight bytes, and the strict-mode skip.
TEST(Detection, SignatureTable) {
    struct Case { std::string bytes; const char* format; const char* order; const char* note; };
    const std::string pad(24, '\0');
    const std::vector<Case> cases = {
        {std::string("\xFF\xD8\0\0\0\0\0\0", 8), "JPEG", "Unknown", " does not contain a valid EXIF APP1 tag."},
        {std::string("II\x2A\0\0\0HE", 8) + pad, "TIFF", "Intel", " contains an invalid TIFF IFD0 offset."},
        {std::string("MM\0\x2A\0\0\0\0", 8) + pad, "TIFF", "Motorola", " contains an invalid TIFF IFD0 offset."},
        {"RIFF" + pad, "RIFF", "Intel", nullptr},
        {std::string("II\x1A\0\0\0HE", 8) + pad, "CIFF", "Intel", nullptr},
        {std::string("MM\0\0\0\x1Ahe", 8) + pad, "CIFF", "Motorola", nullptr},
        {"riff" + pad, "Unknown", "Unknown", " is not a valid JPEG, TIFF, or RIFF file."},
        {std::string("II\x2B\0\0\0Hx", 8), "Unknown", "Unknown", " is not a valid JPEG, TIFF, or RIFF file."},
        {std::string("\xFF\xD8\xFF\xE1\0\x10\0", 7), "Unknown", "Unknown", " is too small to be a valid JPEG, TIFF, or RIFF file."},
    };
    for (const auto& c : cases) {
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(c.bytes, mode);
            const FileFacts& f = r.facts;
            const std::string kind = c.format;
            SCOPED_TRACE(kind + " mode " + std::to_string(mode));
            EXPECT_EQ(f.InternalFormat, kind);
            EXPECT_EQ(f.TIFFByteAlign, c.order);
            EXPECT_EQ(f.TIFFOffset, kind == "TIFF" ? 0 : -1);
            // Only the detected kind of metadata can still be valid.
            EXPECT_FALSE(f.TIFFMetadata && kind != "JPEG" && kind != "TIFF");
            EXPECT_FALSE(f.RIFFMetadata && kind != "RIFF");
            EXPECT_FALSE(f.CIFFMetadata && kind != "CIFF");
            const bool any = f.TIFFMetadata || f.RIFFMetadata || f.CIFFMetadata;
            EXPECT_EQ(f.Timestamped, mode == 2 || any);
            EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, mode == 1 && !any ? 1 : 0);
            if (c.note) { EXPECT_EQ(f.Notes, mode == 1 ? "IMG_0001.JPG" + std::string(c.note) : ""); }
        }
    }
}

// Files in memory; opening anything else fails as a locked file does.
class MemoryFs : public FileSystem {
public:
    struct Stream : MemoryStream {
        Stream(std::string_view bytes, int& closes) : MemoryStream(bytes), closes_(closes) {}
        void Close() override { ++closes_; }
        int& closes_;
    };
    std::map<std::string, std::string> files;
    int attempts = 0, opens = 0, closes = 0;

    std::unique_ptr<ReadStream> OpenRead(const std::string& path, std::string& error) override {
        ++attempts;
        if (!files.count(path)) return error = "Permission denied", nullptr;
        ++opens;
        return std::make_unique<Stream>(files[path], closes);
    }
    bool FolderExists(const std::string&) override { return false; }
    bool FileExists(const std::string&) override { return false; }
    std::optional<FolderRef> GetFolder(const std::string&) override { return {}; }
    FsStatus CreateFolder(const std::string&) override { return {}; }
    FsStatus DeleteFolder(const std::string&) override { return {}; }
    bool ListFolder(const std::string&, std::vector<FsItem>&, std::vector<FsItem>&) override { return false; }
    int CountItems(const std::string&) override { return -1; }
    std::optional<FsItem> GetFile(const std::string&) override { return {}; }
    std::string TypeDescription(const std::string&) override { return ""; }
    FsStatus MoveFile(const std::string&, const std::string&) override { return {}; }
    FsStatus CopyFile(const std::string&, const std::string&) override { return {}; }
    std::unique_ptr<TextFile> CreateTextFile(const std::string&, std::string&) override { return nullptr; }
    std::string DrivePart(const std::string&) override { return "/"; }
    std::string ParentPart(const std::string&) override { return ""; }
};

TEST(Detection, OpeningAndClosing) {
    ExifSpec restart;
    restart.dateTime = restart.original = "2004:12:25 18:09:11";
    restart.subIfdBeforeStrings = true;
    MemoryFs fs;
    fs.files["/c/good.jpg"] = BuildJpeg(BuildTiff(restart));
    fs.files["/c/cut.jpg"] = fs.files["/c/good.jpg"].substr(0, 40);
    for (int mode : {1, 2, 3}) {
        for (const std::string name : {"good.jpg", "cut.jpg", "locked.jpg"}) {
            SCOPED_TRACE(name + " mode " + std::to_string(mode));
            fs.attempts = fs.opens = fs.closes = 0;
            FakePort port;
            RunOptions options;
            options.DateMode = mode;
            RunTally tally;
            MetadataPass pass;
            FileFacts f;
            bool again = true;
            for (int attempt = 0; again && attempt < 3; ++attempt) {
                f = FileFacts{};
                f.SourceFileName = name;
                f.SourceFilePath = "/c/" + name;
                f.Size = static_cast<std::int64_t>(fs.files[f.SourceFilePath].size());
                if (name == "locked.jpg") fs.files.erase(f.SourceFilePath);
                again = ReadMetadata(fs, port, options, f, pass, tally);
            }
            EXPECT_FALSE(again);
            EXPECT_EQ(fs.closes, fs.opens);  // closed after success, a bad structure and a restart alike
            EXPECT_EQ(fs.attempts, mode == 3 ? 0 : name == "good.jpg" ? 2 : 1);
            EXPECT_EQ(f.TIFFMetadata, mode != 3 && name == "good.jpg");
            EXPECT_EQ(f.Timestamped, name == "good.jpg" || mode != 1);
            EXPECT_EQ(f.Notes, mode == 1 && name == "locked.jpg"
                                   ? "locked.jpg could not be opened due to the following error: Permission denied."
                                   : mode == 1 && name == "cut.jpg" ? "cut.jpg contains an invalid TIFF IFD0 directory entry count."
                                                                    : "");
        }
    }
}

}  // namespace
}  // namespace ravlen::test
