#include <gtest/gtest.h>

#include "model/file_list.h"

namespace ravlen::test {
namespace {

TEST(FileList, EscapesSeparatorsInFields) {
    for (const auto& [text, escaped] : std::vector<std::pair<std::string, std::string>>{
             {"plain é.jpg", "plain é.jpg"},
             {"a\tb", "a\\tb"},
             {"line\nbreak\r", "line\\nbreak\\r"},
             {"back\\slash\\t", "back\\\\slash\\\\t"},  // a backslash before a "t" stays apart from a tab
             {"", ""}})
        EXPECT_EQ(EscapeListField(text), escaped) << text;
}

// Each outcome's line: the new path only for a placed file, the date only
// where one was chosen, the reason of a skip or an exclusion.
TEST(FileList, LinesByOutcome) {
    FileList list;
    FileFacts placed;
    placed.SourceFileName = "IMG\t1.JPG", placed.SourceFolder = "/card", placed.OutputFolder = "/out/";
    placed.OutputFileName = "2024.JPG", placed.TimestampDateTime = *DateTime::FromFields(2024, 7, 14, 9, 5, 3);
    placed.DateSource = "EXIF DateTimeOriginal";
    placed.CameraMake = "Canon", placed.CameraModel = "Canon EOS R6", placed.CameraSerial = "123";
    placed.LensModel = "RF50mm F1.8 STM", placed.JobCode = "Smith/Jones", placed.ContinuingNumber = 7;
    FileFacts skipped = placed;
    skipped.Timestamped = false, skipped.Notes = "IMG\t1.JPG has no date.", skipped.DateSource.clear();
    FileFacts imported = placed;
    imported.Timestamped = false, imported.Operation = FileOperation::AlreadyImported;
    for (const FileFacts* f : {&placed, &skipped, &imported}) list.Add(*f);
    FsItem hidden;
    hidden.Name = ".hidden";
    list.AddExcluded(hidden, "/card", "hidden");
    std::vector<std::string> lines;
    for (const FileRow& row : list.Rows()) lines.push_back(ListLine(row));
    // The values of the template's symbols follow, as names take them; the
    // continuing number only for a file placed.
    const std::string camera = "\tCanon EOS R6\t123\tRF50mm F1.8 STM\t\tSmith-Jones\t";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "/card/IMG\\t1.JPG\t/out/2024.JPG\t2024/07/14 09:05:03\tEXIF DateTimeOriginal\tplace\t" +
                             camera + "7",
                         "/card/IMG\\t1.JPG\t\t\t\tskip\tIMG\\t1.JPG has no date." + camera,
                         "/card/IMG\\t1.JPG\t/out/2024.JPG\t2024/07/14 09:05:03\tEXIF DateTimeOriginal\t"
                         "already-imported\t" + camera,
                         "/card/.hidden\t\t\t\texcluded\thidden\t\t\t\t\t\t"}));
}

}  // namespace
}  // namespace ravlen::test
