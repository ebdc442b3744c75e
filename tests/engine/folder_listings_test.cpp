#include "engine/folder_listings.h"

#include <gtest/gtest.h>

#include "platform/posix_file_system.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

// A kept listing serves one walk of its folder; past the bound nothing more
// is kept, and such folders are listed from the disk.
TEST(FolderListings, AListingServesOnceAndTheBoundKeepsNoMore) {
    test::TempDir tmp;
    const std::string a = tmp.Mkdir("a"), b = tmp.Mkdir("b");
    tmp.Write("a/on-disk", ""), tmp.Write("b/on-disk", "");
    PosixFileSystem fs;
    FolderListings listings;
    FsItem kept;
    kept.Name = "kept";
    listings.Keep(a, std::vector<FsItem>(2, kept), {});
    listings.Keep(b, std::vector<FsItem>(FolderListings::kMaxItems - 1, kept), {});
    std::vector<FsItem> files, folders;
    for (const char* name : {"kept", "on-disk"}) {
        ASSERT_TRUE(listings.List(fs, a, files, folders));
        ASSERT_FALSE(files.empty());
        EXPECT_EQ(files.front().Name, name);
    }
    ASSERT_TRUE(listings.List(fs, b, files, folders));
    EXPECT_EQ(files.size(), 1u) << "beyond the bound";
}

}  // namespace
}  // namespace ravlen
