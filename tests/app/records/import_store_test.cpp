#include "app/records/import_store.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace ravlen {
namespace {

TEST(ImportRecordStampedHash, HoldsOnlyForTheSameIdentitySizeAndTimeAcrossRuns) {
    test::TempDir dir;
    const std::string db = dir / "imports.sqlite";
    const FileStamp stamp{{7, 42}, 1000, DateTime::FromCivilSeconds(5000)};
    {
        auto record = SqliteImportRecord::Open(db);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->StampedHash("/card/IMG_0001.JPG", stamp), "");
        record->KeepStampedHash("/card/IMG_0001.JPG", stamp, "abc");
        EXPECT_EQ(record->StampedHash("/card/IMG_0001.JPG", stamp), "abc");  // while it waits to be written
        ASSERT_TRUE(record->Flush());
    }
    auto record = SqliteImportRecord::Open(db);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->StampedHash("/card/IMG_0001.JPG", stamp), "abc");
    for (const FileStamp& other : {FileStamp{{7, 43}, 1000, stamp.Modified}, FileStamp{{8, 42}, 1000, stamp.Modified},
                                   FileStamp{{7, 42}, 1001, stamp.Modified},
                                   FileStamp{{7, 42}, 1000, DateTime::FromCivilSeconds(5001)}})
        EXPECT_EQ(record->StampedHash("/card/IMG_0001.JPG", other), "");
    EXPECT_EQ(record->StampedHash("/card/IMG_0002.JPG", stamp), "");
    // A record opened only to look reads the kept hash too.
    record.reset();
    EXPECT_EQ(SqliteImportRecord::OpenReadOnly(db)->StampedHash("/card/IMG_0001.JPG", stamp), "abc");
}

}  // namespace
}  // namespace ravlen
