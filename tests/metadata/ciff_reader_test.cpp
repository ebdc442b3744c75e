#include "metadata/ciff_reader.h"
#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

const ByteOrder I = ByteOrder::Intel;
std::string Num(std::uint64_t v, int bytes = 4, ByteOrder order = I) {
    std::string s;
    PutNumber(s, 0, static_cast<std::uint32_t>(v), bytes, order);
    return s;
}
constexpr std::uint16_t kCapturedInRecord = 0x580E, kCapturedInHeap = 0x180E, kSubHeap = 0x300A;
constexpr std::uint32_t kSeconds = 1053167025;  // 2003-05-17 10:23:45

// A heap: the data of its storage-0 records, the record table (0x4000: 8 bytes inline), the table's offset.
std::string Heap(const std::vector<std::pair<std::uint16_t, std::string>>& records, ByteOrder o = I) {
    std::string data, table = Num(records.size(), 2, o);
    for (const auto& [type, bytes] : records) {
        const bool inRecord = (type & 0xC000) == 0x4000;
        table += Num(type, 2, o) + (inRecord ? (bytes + std::string(8, '\0')).substr(0, 8)
                                             : Num(bytes.size(), 4, o) + Num(data.size(), 4, o));
        if (!inRecord) data += bytes;
    }
    return data + table + Num(data.size(), 4, o);
}
std::string Ciff(const std::string& rootHeap, ByteOrder order = I, std::uint32_t headerLength = 26) {
    return (order == I ? "II" : "MM") + Num(headerLength, 4, order) + "HEAPCCDR" + std::string(12, '\0') + rootHeap;
}
// As cameras store it: in the image-properties sub-heap, after other records and sub-heaps.
std::string Camera(ByteOrder o) {
    const std::string exif = Heap({{0x1810, "abcd"}}, o);
    const std::string props =
        Heap({{0x0805, "a comment"}, {0x300B, exif}, {kCapturedInRecord, Num(kSeconds, 4, o)}}, o);
    return Ciff(Heap({{0x2007, "jpeg"}, {kSubHeap, props}}, o), o);
}

// The first CapturedTime, depth first in table order; records after it are not examined.
TEST(CiffReader, FindsTheFirstCapturedTime) {
    const std::string t = "2003/05/17 10:23:45", found = Heap({{kCapturedInRecord, Num(kSeconds)}});
    const std::string first = Heap({{kSubHeap, found}, {0x8000, ""}, {kCapturedInRecord, Num(1)}});
    for (const auto& [bytes, expected] : std::vector<std::pair<std::string, std::string>>{
             {Camera(I), t}, {Camera(ByteOrder::Motorola), t}, {Ciff(first), t},
             {Ciff(Heap({{kCapturedInHeap, Num(0) + "tz.."}})), "1970/01/01 00:00:00"},
             {Ciff(std::string(2, '\0') + Num(0)), "none"}}) {  // a 32-byte file: table offset 0 is the only one
        const FileFacts f = ReadBytes(bytes).facts;
        EXPECT_EQ(ValidFormats(f), "CIFF") << f.Notes;
        EXPECT_EQ(f.CIFFSubType, "CCDR");
        EXPECT_EQ(f.CIFFCapturedDate ? f.CIFFCapturedDate->FormatFull() : "none", expected);
    }
}

// A raw file of megabytes: its last bytes hold the heap table and the
// image-properties heap, and nothing else is read; a file whose date lies
// before them is read again, whole, with the same result.
TEST(CiffReader, ALargeFileIsReadFromItsEnd) {
    const std::string raw(1 << 20, 'r'), props = Heap({{kCapturedInRecord, Num(kSeconds)}});
    const std::string t = "2003/05/17 10:23:45";
    const ReadResult atEnd = ReadBytes(Ciff(Heap({{0x2005, raw}, {kSubHeap, props}})));
    EXPECT_EQ(atEnd.facts.CIFFCapturedDate ? atEnd.facts.CIFFCapturedDate->FormatFull() : "none", t);
    EXPECT_EQ(atEnd.facts.CIFFSubType, "CCDR");
    EXPECT_EQ(atEnd.streams, 1);
    EXPECT_LT(atEnd.bytesRead, 80u * 1024);
    const ReadResult atStart = ReadBytes(Ciff(Heap({{kSubHeap, props}, {0x2005, raw}})));
    EXPECT_EQ(atStart.facts.CIFFCapturedDate ? atStart.facts.CIFFCapturedDate->FormatFull() : "none", t);
    EXPECT_EQ(atStart.facts.Notes, "");
    EXPECT_EQ(atStart.streams, 2);
}

TEST(CiffReader, StructuralFaults) {
    std::string countTooBig = Heap({{0x0805, "abc"}}), beyondTable = countTooBig;
    countTooBig.replace(3, 2, Num(5, 2));          // the count, just after the 3 data bytes
    beyondTable.replace(3 + 2 + 2, 4, Num(4));     // length 4 from offset 0 runs into the table
    const std::string bad = " contains an invalid CIFF heap";
    ExpectNotes({{Ciff(Heap({}), I, 27), " contains a non-standard CIFF header."},
                 {Ciff(std::string(5, '\0')), " does not contain a properly-formed root heap."},
                 {Ciff(Heap({{kSubHeap, "ab"}})), bad + "."},
                 {Ciff("abcdef" + Num(5)), bad + " table offset."},
                 {Ciff(countTooBig), bad + " offset table."},
                 {Ciff(beyondTable), bad + " record length descriptor."},
                 {Ciff(Heap({{0xC805, ""}})), bad + " record storage method."}});
}

// Every truncation; sub-heaps 100 deep; 2000^3 visits of one shared sub-heap without a limit; sums
// beyond 32 bits; a file too large to hold, of which nothing more is read.
TEST(CiffReader, HostileInput) {
    ExpectEveryTruncationHandled(Camera(I));
    std::string deep = Heap({{kCapturedInRecord, Num(kSeconds)}}), shared = Heap({});
    for (int i = 0; i < 100; ++i) deep = Heap({{kSubHeap, deep}});
    for (int level = 0; level < 3; ++level) {
        std::string table = Num(2000, 2);
        for (int i = 0; i < 2000; ++i) table += Num(kSubHeap, 2) + Num(shared.size()) + Num(0);
        shared += table + Num(shared.size());
    }
    for (const std::string& heap : {deep, shared})
        EXPECT_EQ(ReadQuickly(Ciff(heap)).facts.Notes, "IMG_0001.JPG contains an invalid CIFF heap.");
    std::string overflow = Heap({{0x0805, "abc"}});
    overflow.replace(3 + 2 + 2, 8, Num(0x7FFFFFFF) + Num(0x10));
    EXPECT_EQ(ReadBytes(Ciff(overflow)).facts.Notes, FaultNote("6: Overflow"));
    const ReadResult huge = ReadBytes(Ciff(Heap({})), 1, static_cast<std::int64_t>(kMaxCIFFFileSize) + 1);
    EXPECT_EQ(huge.facts.Notes, FaultNote("7: Out of memory"));
    EXPECT_EQ(huge.bytesRead, static_cast<std::size_t>(kDetectLength));  // the detection read, nothing more
}

}  // namespace
}  // namespace ravlen::test
