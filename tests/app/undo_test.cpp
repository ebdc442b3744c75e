#include "app/undo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/run_driver.h"
#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::FakePort;
using test::ReadAll;
using test::TempDir;
namespace fs = std::filesystem;

// Every file below a folder, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadAll(e.path().string());
    return files;
}

// A real run with a CSV log, then undos of it.
struct Bench {
    TempDir srcDir, outDir;
    std::string src = srcDir.Mkdir("card"), out = outDir.Mkdir("out");
    PosixFileSystem files;
    FakePort port;

    explicit Bench(const std::string& srcBase = "") : srcDir(srcBase) {}
    void Run(int moveOrCopy, int subfolders = 2) {
        RunOptions o;
        o.SourcePath = src;
        o.OutputPath = out;
        o.AutoDetect = o.RequestConfirmation = o.SummarizeResults = 0;
        o.DateMode = 3;
        o.CreateLog = 2;
        o.MoveOrCopy = moveOrCopy;
        o.ProcessSubfolders = subfolders;
        RunDriver driver(RunServices{files, port, {}, {}, ProgramFacts{}});
        ASSERT_EQ(driver.Go(o), RunOutcome::Completed);
    }
    std::string Csv() const {
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().extension() == ".csv" && e.path().string().find(" undo") == std::string::npos)
                return e.path().string();
        return "";
    }
    UndoResult Undo() {
        port.messages.clear();
        return RunUndo(Csv(), files, port, true);
    }
    // Where the log says a row's file came from and went to.
    std::string SourceOf(int row) const { return Field(row, 3) + "/" + Field(row, 2); }
    std::string OutputOf(int row) const { return Field(row, 45) + "/" + Field(row, 44); }
    std::string Field(int row, std::size_t column) const {
        return SplitCsv(ReadAll(Csv())).at(static_cast<std::size_t>(row)).Fields.at(column);
    }
};

void PhotoSet(const TempDir& dir) {
    dir.Write("card/IMG_0001.JPG", "first photo");
    dir.Write("card/IMG_0002.JPG", std::string((1 << 20) + 17, 'x'));  // several compare chunks
    dir.Write("card/DCIM/100CANON/IMG_0003.JPG", "third");
    dir.Write("card/DCIM/100CANON/MVI_0004.AVI", "movie");
}

TEST(Undo, MoveThenUndoRestoresEveryFileAndASecondUndoDoesNothing) {
    TempDir probe("/dev/shm");
    struct stat a{}, b{};
    const bool otherFs = stat(probe.path().c_str(), &a) == 0 && stat("/tmp", &b) == 0 && a.st_dev != b.st_dev;
    for (const bool crossFs : {false, true}) {
        if (crossFs && !otherFs) continue;  // no second file system to move across
        SCOPED_TRACE(crossFs ? "across file systems" : "same file system");
        Bench bench(crossFs ? "/dev/shm" : "");
        PhotoSet(bench.srcDir);
        const auto before = Tree(bench.src);
        bench.Run(0);
        ASSERT_TRUE(Tree(bench.src).empty());
        ASSERT_TRUE(fs::is_directory(bench.out + "/DCIM/100CANON"));

        const UndoResult first = bench.Undo();
        EXPECT_EQ(first.Outcome, UndoOutcome::Completed);
        EXPECT_EQ(Tree(bench.src), before);
        EXPECT_FALSE(fs::exists(bench.out + "/DCIM")) << "the emptied output subfolders go";
        ASSERT_EQ(bench.port.messages.size(), 2u);
        EXPECT_EQ(bench.port.messages[0].text,
                  "4  files will be restored to their original place\r\n"
                  "0  copies will be removed if identical to their originals\r\n"
                  "0  files will be left alone\r\n"
                  "0  files were undone before\r\n"
                  "0  files were not moved or copied by the run\r\n"
                  "=\r\n"
                  "4  total files in the log\r\n\r\n\r\n"
                  "Do you want to undo the run?");
        EXPECT_EQ(bench.port.messages[1].text, "All 4 files successfully restored to their original place.");
        EXPECT_EQ(bench.port.progressTitle, "Undoing Run...");
        EXPECT_EQ(bench.port.progressMessages.back(), "4 of 4");
        const std::string undoLog = ReadAll(first.UndoLogPath);
        EXPECT_EQ(undoLog.substr(0, undoLog.find("\r\n")),
                  "Row,SourceFolder,SourceFileName,OutputFolder,OutputFileName,Operation,Action,Reason");
        EXPECT_NE(undoLog.find("\"IMG_0001.JPG\",\"" + bench.out + "\","), std::string::npos);

        const auto outAfter = Tree(bench.out);
        const UndoResult second = bench.Undo();
        EXPECT_EQ(second.Outcome, UndoOutcome::NothingToDo);
        EXPECT_EQ(second.Done.AlreadyUndone, 4);
        ASSERT_EQ(bench.port.messages.size(), 1u);
        EXPECT_EQ(bench.port.messages[0].icon, MsgIcon::Information);
        EXPECT_NE(bench.port.messages[0].text.find("already been undone"), std::string::npos);
        EXPECT_EQ(Tree(bench.src), before);
        EXPECT_EQ(Tree(bench.out), outAfter) << "not even an undo log";
    }
}

TEST(Undo, CopyThenUndoRemovesOnlyCopiesStillIdenticalToTheirOriginals) {
    Bench bench;
    PhotoSet(bench.srcDir);
    const auto before = Tree(bench.src);
    bench.Run(1);
    // Row 1's copy edited in place (same size), row 3's original gone.
    const std::string edited = bench.OutputOf(1);
    std::string bytes = ReadAll(edited);
    bytes[bytes.size() / 2] ^= 1;
    std::ofstream(edited, std::ios::binary | std::ios::trunc) << bytes;
    const std::string orphan = bench.OutputOf(3);
    fs::remove(bench.SourceOf(3));

    const UndoResult result = bench.Undo();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Remove, 2);
    EXPECT_EQ(result.Done.LeaveAlone, 2);
    EXPECT_EQ(result.Rows[0].Reason, "The copy and the original differ, so the copy is kept.");
    EXPECT_EQ(result.Rows[2].Reason, "The original is no longer at its original place, so the copy is kept.");
    EXPECT_EQ(ReadAll(edited), bytes);
    EXPECT_TRUE(fs::exists(orphan));
    EXPECT_FALSE(fs::exists(bench.OutputOf(2)));
    EXPECT_FALSE(fs::exists(bench.OutputOf(4)));
    auto originals = before;
    originals.erase(fs::relative(bench.SourceOf(3), bench.src).string());
    EXPECT_EQ(Tree(bench.src), originals) << "originals are only read";
    EXPECT_EQ(bench.port.messages.back().icon, MsgIcon::Exclamation);
    EXPECT_NE(bench.port.messages.back().text.find("2  copies removed"), std::string::npos);
}

TEST(Undo, ANameTakenAtTheOriginalPlaceKeepsTheFileWhereItIs) {
    Bench bench;
    PhotoSet(bench.srcDir);
    bench.Run(0, 1);
    const std::string renamed = bench.OutputOf(1), original = bench.SourceOf(1);
    const std::string photo = ReadAll(renamed);
    std::ofstream(original) << "a newer file";

    const UndoResult result = bench.Undo();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Restore, 3);
    EXPECT_EQ(ReadAll(original), "a newer file");
    EXPECT_EQ(ReadAll(renamed), photo);
    const std::string summary = bench.port.messages.back().text;
    EXPECT_NE(summary.find("Row 1, " + fs::path(renamed).filename().string() +
                           ": A file already stands at the original name."),
              std::string::npos);
    EXPECT_NE(ReadAll(result.UndoLogPath).find(",\"Left alone\",\"A file already stands at the original name.\""),
              std::string::npos);

    // The second undo leaves everything where it is, and says why again.
    const UndoResult second = bench.Undo();
    EXPECT_EQ(second.Done.LeaveAlone, 1);
    EXPECT_EQ(second.Done.AlreadyUndone, 3);
    EXPECT_EQ(ReadAll(renamed), photo);
    EXPECT_NE(second.UndoLogPath.find(" undo 2.csv"), std::string::npos) << "never over the first undo log";
}

TEST(Undo, NamesWithQuotesCommasAndLineEndsComeBack) {
    Bench bench;
    bench.srcDir.Write("card/say \"cheese\", please\r\nnow/IMG_0001.JPG", "quoted");
    bench.srcDir.Write("card/IMG_0002.JPG", "plain");
    const auto before = Tree(bench.src);
    bench.Run(0);
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::Completed);
    EXPECT_EQ(Tree(bench.src), before);
}

TEST(Undo, NoOrStopLeavesTheRestInTheOutputFolder) {
    Bench bench;
    PhotoSet(bench.srcDir);
    bench.Run(0, 1);
    const auto placed = Tree(bench.out);
    bench.port.answers = {MsgAnswer::No};
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::Refused);
    EXPECT_EQ(Tree(bench.out), placed);

    bench.port.onPump = [](FakePort& p) { p.cancel = p.progressValue >= 1; };
    const UndoResult stopped = bench.Undo();
    EXPECT_EQ(stopped.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(stopped.Done.Restore, 1);
    EXPECT_EQ(stopped.NotAttempted, 3);
    EXPECT_EQ(Tree(bench.src).size(), 1u);
    EXPECT_EQ(stopped.Rows[3].Action, UndoAction::Restore) << "last row first";
    const std::string summary = bench.port.messages.back().text;
    EXPECT_NE(summary.find("1  subtotal files attempted\r\n3  files not attempted due to termination\r\n=\r\n"
                           "4  total files in the log"),
              std::string::npos);
    EXPECT_NE(ReadAll(stopped.UndoLogPath).find("\"Not attempted\""), std::string::npos);
}

// ------------------------------------------------------------ hostile logs

std::string Header() {
    std::string h;
    for (const auto& c : CsvLogColumns()) h += (h.empty() ? "" : ",") + c;
    return h + "\r\n";
}

// A row of 47 fields, all quoted, with the undo's columns as given.
std::string Row(const std::string& srcFolder, const std::string& srcName, const std::string& size,
                const std::string& outFolder, const std::string& outName, const std::string& timestamped = "Yes",
                const std::string& operation = "Moved", std::size_t fields = 47) {
    std::vector<std::string> f(fields, "N/A");
    const std::map<std::size_t, std::string> set = {{2, srcName},      {3, srcFolder}, {4, size}, {40, timestamped},
                                                    {43, operation},   {44, outName},  {45, outFolder}};
    for (const auto& [i, v] : set)
        if (i < fields) f[i] = v;
    std::string row;
    for (const auto& v : f) {
        std::string q;
        for (char c : v) q += c == '"' ? std::string("\"\"") : std::string(1, c);
        row += (row.empty() ? "\"" : ",\"") + q + "\"";
    }
    return row + "\r\n";
}

TEST(Undo, RowsThatDoNotMatchTheLogAreLeftAloneWithTheirReason) {
    TempDir dir;
    const std::string out = dir.Mkdir("out"), src = dir.Mkdir("src"), elsewhere = dir.Mkdir("elsewhere");
    dir.Write("out/A.JPG", "aaaa");
    dir.Write("out/B.JPG", "bbbb");
    dir.Write("elsewhere/C.JPG", "cccc");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {Row(src, "IMG_0001.JPG", "4", out, "A.JPG", "Yes", "Moved", 46), "The row has 46 fields instead of 47."},
        {Row(src, "IMG_0001.JPG", "4", out, "../out/A.JPG"), "The row's OutputFileName is not a plain file name."},
        {Row(src, "..", "4", out, "A.JPG"), "The row's SourceFileName is not a plain file name."},
        {Row(src, std::string("IMG\0.JPG", 8), "4", out, "A.JPG"),
         "The row's SourceFileName is not a plain file name."},
        {Row("src", "IMG_0001.JPG", "4", out, "A.JPG"), "The row's SourceFolder is not a plain absolute folder path."},
        {Row(src, "IMG_0001.JPG", "4", out + "/../out", "A.JPG"),
         "The row's OutputFolder is not a plain absolute folder path."},
        {Row(src, "IMG_0001.JPG", "4", elsewhere, "C.JPG"),
         "The row's OutputFolder is neither the log's folder nor inside it."},
        {Row(src, "IMG_0001.JPG", "4x", out, "A.JPG"), "The row's Size is not a number."},
        {Row(src, "IMG_0001.JPG", "4", out, "A.JPG", "yes"), "The row's Timestamped field is neither Yes nor No."},
        {Row(src, "IMG_0001.JPG", "4", out, "A.JPG", "Yes", "Deleted"),
         "The row's Operation is neither Moved nor Copied."},
        {Row(src, "IMG_0001.JPG", "5", out, "A.JPG"),
         "The renamed file has changed since the run: it holds 4 bytes, the log says 5."},
        {Row(src, "IMG_0001.JPG", "4", out, "A.JPG", "No"), "The run did not move or copy this file."},
        {"\"a \"quoted\" word\"," + Row(src, "IMG_0001.JPG", "4", out, "A.JPG", "Yes", "Moved", 46),
         "The row has a double quote where the program never writes one."},
        {Row(src, "IMG_0002.JPG", "4", out, "B.JPG"), ""},
        {Row(src, "IMG_0001.JPG", "4", out, "A.JPG").substr(0, Row(src, "IMG_0001.JPG", "4", out, "A.JPG").find("\"A.JPG") + 3),
         "The row's last quoted field is never closed: the log seems cut short."},
    };
    std::string text = Header();
    for (const auto& r : rows) text += r.first;
    const std::string csv = dir.Write("out/Ravlen Log.csv", text);

    PosixFileSystem files;
    FakePort port;
    const UndoResult result = RunUndo(csv, files, port, true);
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    ASSERT_EQ(result.Rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(result.Rows[i].Reason, rows[i].second) << "row " << i + 1;
    EXPECT_EQ(ReadAll(src + "/IMG_0002.JPG"), "bbbb");
    EXPECT_EQ(Tree(out).size(), 3u) << "A.JPG, the log and its undo log";
    EXPECT_EQ(ReadAll(out + "/A.JPG"), "aaaa");
    EXPECT_EQ(ReadAll(elsewhere + "/C.JPG"), "cccc");
    EXPECT_TRUE(fs::exists(out + "/Ravlen Log undo.csv"));
}

TEST(Undo, AFileThatIsNotOurLogIsRefusedWhole) {
    for (const std::string& text : {std::string(), std::string("\r\n\r\n"), std::string("a,b,c\r\n"),
                                   Header().substr(0, 100), "\xEF\xBB\xBF" + Header(), std::string("\0\x01\"", 3)}) {
        TempDir dir;
        dir.Write("A.JPG", "aaaa");
        const std::string csv = dir.Write("log.csv", text + Row(dir.path(), "B.JPG", "4", dir.path(), "A.JPG"));
        PosixFileSystem files;
        FakePort port;
        EXPECT_EQ(RunUndo(csv, files, port, true).Outcome, UndoOutcome::Refused);
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text,
                  "The file \"" + csv + "\" is not a CSV log of Ravlen: its first line is not the log's header.");
        EXPECT_EQ(Tree(dir.path()).size(), 2u) << "nothing moved, no undo log";
    }
}

TEST(CsvSplitter, SplitsQuotedFieldsLineEndsAndDoubledQuotes) {
    struct Case {
        std::string text;
        std::vector<std::vector<std::string>> records;
        bool badQuotes = false, unterminated = false;
    };
    const std::vector<Case> cases = {
        {"a,\"b,c\"\r\n\r\n\"d\"\"e\",\r\n", {{"a", "b,c"}, {"d\"e", ""}}},
        {"\"x\r\ny\",z\n\"\"\rlast", {{"x\r\ny", "z"}, {""}, {"last"}}},
        {"a,b\"c,d\r\n", {{"a", "b\"c", "d"}}, true},
        {"\"a\"b,c\r\n", {{"a\"b", "c"}}, true},
        {"a,\"open\r\nand on", {{"a", "open\r\nand on"}}, false, true},
    };
    for (const Case& c : cases) {
        const auto records = SplitCsv(c.text);
        ASSERT_EQ(records.size(), c.records.size()) << c.text;
        for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].Fields, c.records[i]) << c.text;
        EXPECT_EQ(records.back().BadQuotes, c.badQuotes) << c.text;
        EXPECT_EQ(records.back().Unterminated, c.unterminated) << c.text;
    }
    const auto commas = SplitCsv(std::string(CsvSplitter::kMaxRecordBytes * 2, ','));
    ASSERT_EQ(commas.size(), 1u);
    EXPECT_TRUE(commas[0].TooLong);
    EXPECT_LE(commas[0].Fields.size(), CsvSplitter::kMaxRecordBytes);
}

}  // namespace
}  // namespace ravlen
