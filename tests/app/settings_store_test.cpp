#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/special_folders.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using namespace std::string_literals;
using test::ReadAll;
using test::TempDir;

// Sets an environment variable for the life of the object.
struct EnvVar {
    EnvVar(const char* name, const std::string& value) : name(name) {
        if (const char* was = std::getenv(name)) old = was;
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar() { old ? (void)setenv(name, old->c_str(), 1) : (void)unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

TEST(SettingsStore, EveryKeyRoundTripsAwkwardTextsExactly) {
    const std::vector<std::string> awkward = {
        "a=b", "*.ctg;*.ind;*.log", "a, b", ",", "#x", "x#y", ";x", "\"quoted\"", " lead", "trail ", "  ", "",
        "Bilder f\xC3\xBCr \xC3\x9Cmit \xE2\x98\x83", "@x", "@ByteArray(x)", "tab\there", "line\nbreak",
        "C:\\photos\\x", "\\x41", "\xFF\xFE legacy bytes", "[Main]"};
    TempDir dir;
    for (std::size_t round = 0; round < awkward.size(); ++round) {
        RunOptions saved;
        for (const SettingsKey& k : AllSettingsKeys()) {
            if (k.number) saved.*k.number = round % 2 ? k.minimum : k.maximum;
            else if (k.text) saved.*k.text = awkward[round];
            else saved.CustomFormat.*k.format = awkward[(round + 1) % awkward.size()];
        }
        SettingsStore store(dir / "Ravlen 2.8.ini");
        ASSERT_TRUE(SaveSettings(store, saved));
        EXPECT_EQ(LoadOptions(SettingsStore(dir / "Ravlen 2.8.ini")), saved) << "value [" << awkward[round] << "]";
    }
    // Every key is stored in its own section.
    const std::string text = ReadAll(dir / "Ravlen 2.8.ini");
    for (const char* section : {"[Main]", "[Filter]", "[Feedback]", "[Advanced]", "[Format]"})
        EXPECT_NE(text.find(section), std::string::npos) << section;
}

TEST(SettingsStore, NumbersOutsideTheirRangeOrNotWholeTakeTheDefault) {
    TempDir dir;
    const std::string path = dir.Write("s.ini",
                                       "[Main]\nProcessSubfolders=abc\nMoveOrCopy=99999999999999\nAddSerial=1.5\n"
                                       "AddBatchVolume=\nFilenameFormat=4\n[Filter]\nDateMode=0\nDCFMode=\" 3 \"\n"
                                       "ExcludeHidden=-1\nExcludeSystem=0\n[Advanced]\nCreateLog=4\nDateModeRIFF=0x2\n");
    RunOptions expected;
    expected.FilenameFormat = 4;
    expected.DCFMode = 3;
    expected.ExcludeSystem = 0;
    EXPECT_EQ(LoadOptions(SettingsStore(path)), expected);
    EXPECT_EQ(LoadOptions(SettingsStore(dir / "missing/s.ini")), RunOptions{});
}

TEST(SettingsStore, DamagedFilesLoadWhatTheyCanAndAreReplacedOnSave) {
    struct Case {
        const char* name;
        std::string bytes;
        int dateMode;  // what loads for Filter/DateMode
    } const cases[] = {
        {"binary", "\x00\x01\xFF\xFE[Main\x00]\x00=\n\xC3\x28=\x80\n[Filter]\nDateMode=3\n"s, 3},
        {"truncated", "[Filter]\nDateMode=2\n[Main]\nSourcePath=\"/media/ca", 2},
        {"unclosed section", "[Filter]\nDateMode=2\n[Mai", 2},
        {"duplicate keys", "[Filter]\nDateMode=2\nDateMode=3\n[Filter]\nDateMode=3\n", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Write("Ravlen 2.8.ini", c.bytes);
        SettingsStore store(path);
        RunOptions loaded = LoadOptions(store);
        EXPECT_EQ(loaded.DateMode, c.dateMode);
        EXPECT_EQ(loaded.ExcludePatternList, RunOptions{}.ExcludePatternList);

        loaded.SourcePath = "/media/card";
        ASSERT_TRUE(SaveSettings(store, loaded));
        EXPECT_EQ(LoadOptions(SettingsStore(path)), loaded);
        EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"Ravlen 2.8.ini"});
    }
}

TEST(SettingsStore, FailedSaveReportsAndLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir / "Ravlen 2.8.ini";
    {
        SettingsStore store(path);
        ASSERT_TRUE(SaveSettings(store, RunOptions{}));
    }
    const std::string before = ReadAll(path);

    // A disk that fills up halfway through the write: the file size limit
    // makes every write past 1 KiB fail.
    RunOptions big;
    big.ExcludePatternList = std::string(4000, 'x');
    SettingsStore store(path);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveSettings(store, big);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"Ravlen 2.8.ini"});
    // The next save that can write does.
    EXPECT_TRUE(store.Sync());
    EXPECT_EQ(LoadOptions(SettingsStore(path)), big);
}

TEST(SettingsStore, UserStoreLivesUnderTheConfigHome) {
    TempDir home;
    EnvVar h("HOME", home.path());
    {
        EnvVar x("XDG_CONFIG_HOME", home / "cfg");
        EXPECT_EQ(SettingsStore::DefaultPath(), home / "cfg/Ravlen/Ravlen 2.8.ini");
        SettingsStore store(SettingsStore::DefaultPath());
        ASSERT_TRUE(SaveSettings(store, RunOptions{}));
        EXPECT_TRUE(std::filesystem::is_regular_file(home / "cfg/Ravlen/Ravlen 2.8.ini"));
    }
    EnvVar unset("XDG_CONFIG_HOME", "");
    EXPECT_EQ(SettingsStore::DefaultPath(), home / ".config/Ravlen/Ravlen 2.8.ini");
}

TEST(SettingsStore, StoreBehindALinkIsSavedWhereTheLinkPoints) {
    TempDir dir;
    const std::string target = dir.Write("dotfiles/ravlen.ini", "[Main]\nSourcePath=/a\n");
    std::filesystem::create_symlink(target, dir / "Ravlen 2.8.ini");
    SettingsStore store(dir / "Ravlen 2.8.ini");
    ASSERT_TRUE(SaveSettings(store, LoadOptions(store)));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Ravlen 2.8.ini"));
    EXPECT_EQ(LoadOptions(SettingsStore(target)).SourcePath, "/a");
    EXPECT_NE(ReadAll(target).find("[Format]"), std::string::npos);
}

TEST(SettingsStore, OptionFromKeyValueText) {
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"DateMode", "4"}, {"CreateLog", "x"}, {"CreateLog", ""}, {"Nope", "1"}};
    for (const auto& [key, value] : refused) {
        RunOptions options;
        std::string error;
        EXPECT_FALSE(SetOptionFromText(options, key, value, error)) << key << "=" << value;
        EXPECT_EQ(options, RunOptions{});
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }
    RunOptions options;
    std::string error;
    EXPECT_TRUE(SetOptionFromText(options, "datemode", "2", error));
    EXPECT_TRUE(SetOptionFromText(options, "ExtensionFormat", ">&", error));
    EXPECT_TRUE(SetOptionFromText(options, "SourcePath", " /x; y ", error));
    EXPECT_EQ(options.DateMode, 2);
    EXPECT_EQ(options.CustomFormat.ExtensionFormat, ">&");
    EXPECT_EQ(options.SourcePath, " /x; y ");
}

struct FakeFolders : SpecialFolders {
    std::string pictures, documents, home = "/h";
    bool askedToCreate = false;
    std::string Pictures(bool create) override {
        askedToCreate = create;
        return pictures;
    }
    std::string Documents() override { return documents; }
    std::string Home() override { return home; }
};

TEST(FirstStart, OutputFolderFallsBackToAFolderThatExists) {
    TempDir dir;
    const std::string pictures = dir.Mkdir("Pictures"), documents = dir.Mkdir("Documents"), gone = dir / "gone";
    const std::vector<std::array<std::string, 3>> cases = {
        // pictures, documents -> output folder
        {pictures, documents, pictures}, {"", documents, documents}, {gone, documents, documents}, {"", gone, "/h"}};
    for (const auto& [p, d, expected] : cases) {
        FakeFolders folders;
        folders.pictures = p;
        folders.documents = d;
        RunOptions options;
        options.SourcePath = "/src";
        CompleteFirstStart(options, folders, [](RunOptions&) { FAIL() << "detection with a source folder"; });
        EXPECT_EQ(options.OutputPath, expected);
        EXPECT_TRUE(folders.askedToCreate);
    }
    // A stored output folder stays, even when it no longer exists.
    FakeFolders folders;
    RunOptions options;
    options.OutputPath = gone;
    CompleteFirstStart(options, folders, [](RunOptions& o) { o.SourcePath = "/media/card"; });
    EXPECT_EQ(options.SourcePath, "/media/card");
    EXPECT_EQ(options.OutputPath, gone);
}

TEST(FirstStart, EmptyStoreUsesThePicturesFolderCreatedInHome) {
    TempDir home;
    EnvVar h("HOME", home.path());
    EnvVar x("XDG_CONFIG_HOME", home / ".config");
    SettingsStore store(SettingsStore::DefaultPath());
    RunOptions options = LoadOptions(store);
    QtSpecialFolders folders;
    CompleteFirstStart(options, folders, [](RunOptions&) {});
    EXPECT_EQ(options.OutputPath, home / "Pictures");
    EXPECT_TRUE(std::filesystem::is_directory(home / "Pictures"));
    EXPECT_EQ(options.SourcePath, "");
    EXPECT_EQ(folders.Home(), home.path());
}

}  // namespace
}  // namespace ravlen
