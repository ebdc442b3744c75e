#include "app/settings/settings_store.h"
#include "model/camera_clock.h"
#include "app/settings/special_folders.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace ravlen {
namespace {

using namespace std::string_literals;
using test::ReadAll;
using test::TempDir;
namespace fs = std::filesystem;

TEST(SettingsStore, EveryKeyRoundTripsAwkwardTextsExactlyThroughALink) {
    const std::vector<std::string> awkward = {
        "a=b", "*.ctg;*.ind;*.log", "a, b", ",", "#x", "x#y", ";x", "\"quoted\"", " lead", "trail ", "  ", "",
        "Bilder f\xC3\xBCr \xC3\x9Cmit \xE2\x98\x83", "@x", "@ByteArray(x)", "tab\there", "line\nbreak",
        "C:\\photos\\x", "\\x41", "\xFF\xFE legacy bytes", "[Main]"};
    // A store kept elsewhere behind a link is saved where the link points; the link stays.
    TempDir dir;
    const std::string link = dir / "Ravlen 2.8.ini", target = dir.Write("dotfiles/ravlen.ini", "");
    fs::create_symlink(target, link);
    for (std::size_t round = 0; round < awkward.size(); ++round) {
        RunOptions saved;
        for (const SettingsKey& k : AllSettingsKeys()) {
            if (!k.saved) continue;
            if (k.IsNumber()) k.set(saved, round % 2 ? k.minimum : k.maximum);
            else if (k.text && !k.accepts) saved.*k.text = awkward[round];
            else if (k.format) saved.CustomFormat.*k.format = awkward[(round + 1) % awkward.size()];
        }
        SettingsStore store(link);
        ASSERT_TRUE(SaveSettings(store, saved));
        EXPECT_EQ(LoadOptions(SettingsStore(target)), saved) << "value [" << awkward[round] << "]";
    }
    // Keys with a form keep what they take, and a hand-edited value they refuse loads as the default.
    RunOptions clocks;
    clocks.CameraOffsets = "A\\|B|C\\=D|\\\\=-2 00:00:01;x|y|z=+00:00:01";
    clocks.MovieTimeZone = "America/Argentina/Buenos_Aires", clocks.SetFileTime = true;
    ASSERT_TRUE(ParseCameraOffsets(clocks.CameraOffsets));
    SettingsStore clockStore(link);
    ASSERT_TRUE(SaveSettings(clockStore, clocks));
    EXPECT_EQ(LoadOptions(SettingsStore(target)), clocks);
    const std::string odd = dir.Write("odd.ini", "[Time]\nMovieTimeZone=Mars/Olympus\nCameraOffsets=x\n");
    EXPECT_EQ(LoadOptions(SettingsStore(odd)), RunOptions{});
    EXPECT_TRUE(fs::is_symlink(link));
    const std::string text = ReadAll(target);
    for (const char* section : {"[Main]", "[Filter]", "[Feedback]", "[Advanced]", "[Format]"})
        EXPECT_NE(text.find(section), std::string::npos) << section;
}

TEST(SettingsStore, BadNumbersTakeTheDefaultOrAreRefused) {
    TempDir dir;
    const std::string path = dir.Write(
        "s.ini", "[Main]\nProcessSubfolders=abc\nMoveOrCopy=99999999999999\nAddSerial=1.5\nAddBatchVolume=\n"
                 "FilenameFormat=4\n[Filter]\nDateMode=0\nDCFMode=\" 3 \"\nExcludeHidden=-1\n"
                 "ExcludeSystem=0\n[Advanced]\nCreateLog=4\nDateModeRIFF=0x2\n");
    RunOptions expected{.SourcePath = "",
                        .OutputPath = "",
                        .FilenameFormat = FilenameFormat::Custom,
                        .DCFMode = DCFMode::ReplaceNonDcf,
                        .ExcludeSystem = false};
    EXPECT_EQ(LoadOptions(SettingsStore(path)), expected);
    EXPECT_EQ(LoadOptions(SettingsStore(dir / "missing/s.ini")), RunOptions{});
    EXPECT_TRUE(SettingsStore::DefaultPath().ends_with("/Ravlen/Ravlen 2.8.ini")) << SettingsStore::DefaultPath();
    // Key=Value text: an unknown key or a bad number changes nothing and names the key.
    RunOptions options;
    for (const auto& [key, value] : {std::pair{"DateMode", "4"}, {"CreateLog", "x"}, {"CreateLog", ""}, {"Bad", "1"},
                                     {"TimeShift", "1:00:00"}, {"TimeShift", "+01:60:00"}}) {
        std::string error;
        EXPECT_FALSE(SetOptionFromText(options, key, value, error)) << key << "=" << value;
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }
    EXPECT_EQ(options, RunOptions{});
    std::string error;  // keys in any case; texts as given
    EXPECT_TRUE(SetOptionFromText(options, "datemode", "2", error) && options.DateMode == DateMode::FileSystemWhenNoMetadata);
    EXPECT_TRUE(SetOptionFromText(options, "ExtensionFormat", " >&", error));
    EXPECT_EQ(options.CustomFormat.ExtensionFormat, " >&");
    // A one-run option is taken from Key=Value but never from or into the store.
    EXPECT_TRUE(SetOptionFromText(options, "TimeShift", "-1 02:00:00", error));
    const std::string withShift = dir.Write("shift.ini", "[Time]\nTimeShift=+01:00:00\n");
    EXPECT_EQ(LoadOptions(SettingsStore(withShift)).TimeShift, "");
    SettingsStore store(dir / "saved.ini");
    ASSERT_TRUE(SaveSettings(store, options));
    EXPECT_EQ(ReadAll(dir / "saved.ini").find("TimeShift"), std::string::npos);
    // Saving what the store holds leaves its file alone (each save writes a
    // new file); a change is saved.
    const auto inode = [&dir] {
        struct stat st{};
        return stat((dir / "saved.ini").c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const auto first = inode();
    SettingsStore again(dir / "saved.ini");
    ASSERT_TRUE(SaveSettings(again, options));
    EXPECT_EQ(inode(), first);
    options.DateMode = DateMode::MetadataOnly;
    ASSERT_TRUE(SaveSettings(again, options));
    EXPECT_NE(inode(), first);
    EXPECT_EQ(LoadOptions(SettingsStore(dir / "saved.ini")).DateMode, DateMode::MetadataOnly);
}

TEST(SettingsStore, DamagedStoreLoadsWhatItCanAndAFailedSaveLeavesItWhole) {
    TempDir dir;
    const std::string path =
        dir.Write("Ravlen 2.8.ini", "\x00\x01\xFF\xFE[Main\x00]\x00=\n\xC3\x28=\x80\n[Filter]\nDateMode=3\n"s);
    const std::string before = ReadAll(path);
    SettingsStore store(path);
    RunOptions options = LoadOptions(store);
    EXPECT_EQ(options.DateMode, DateMode::FileSystemOnly);
    EXPECT_EQ(options.ExcludePatternList, RunOptions{}.ExcludePatternList);
    // A disk that fills up halfway through the write: every write past 1 KiB fails.
    options.ExcludePatternList = std::string(4000, 'x');
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveSettings(store, options);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(path), before);
    const auto names = [&dir] { return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()); };
    EXPECT_EQ(names(), 1) << "no half-written file";
    EXPECT_TRUE(store.Sync()) << "the next save that can write does";
    EXPECT_EQ(LoadOptions(SettingsStore(path)), options);
    EXPECT_EQ(names(), 1);
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// First start: an empty store gives the defaults, an empty source asks the card
// search (without a question), and the output folder becomes ~/Pictures, made
// when missing.
TEST(FirstStart, EmptyStoreGivesDefaultsAndThePicturesFolder) {
    TempDir tmp;
    setenv("HOME", tmp.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (tmp / "config").c_str(), 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), tmp / "config/Ravlen/Ravlen 2.8.ini");
    SettingsStore store(SettingsStore::DefaultPath());
    RunOptions options = LoadOptions(store);
    EXPECT_EQ(options, RunOptions{});
    QtSpecialFolders folders;
    // A list of what would happen names the folder and leaves the disk alone.
    RunOptions listed = options;
    CompleteFirstStart(listed, folders, {}, MissingPictures::NameOnly);
    EXPECT_EQ(listed.OutputPath, tmp / "Pictures");
    EXPECT_FALSE(fs::exists(tmp / "Pictures"));
    int searches = 0;
    CompleteFirstStart(options, folders, [&](RunOptions&) { ++searches; });
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(options.OutputPath, tmp / "Pictures");
    EXPECT_TRUE(fs::is_directory(tmp / "Pictures"));
}

}  // namespace
}  // namespace ravlen
