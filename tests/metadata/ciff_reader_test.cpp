#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "metadata/ciff_reader.h"
#include "metadata/metadata_fault.h"
#include "support/fake_port.h"
#include "support/memory_stream.h"

namespace ravlen {
namespace {

// --- Builders ---------------------------------------------------------------

std::string Num(std::uint32_t v, int bytes, ByteOrder order) {
    std::string s(static_cast<std::size_t>(bytes), '\0');
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == ByteOrder::Intel ? 8 * i : 8 * (bytes - 1 - i);
        s[static_cast<std::size_t>(i)] = static_cast<char>((v >> shift) & 0xFF);
    }
    return s;
}

struct Record {
    std::uint16_t type;
    std::string data;  // in the heap (storage 0) or, 8 bytes, in the record (0x4000)
};

constexpr std::uint16_t kCapturedInRecord = 0x580E;  // in-record, 4-byte numbers, CapturedTime
constexpr std::uint16_t kCapturedInHeap = 0x180E;     // the same value stored in the heap
constexpr std::uint16_t kImageProps = 0x300A;         // a sub-heap
constexpr std::uint16_t kExifInformation = 0x300B;    // a sub-heap

// A heap: the heap-stored data, then the record table and its offset.
std::string Heap(const std::vector<Record>& records, ByteOrder order) {
    std::string data, table = Num(static_cast<std::uint32_t>(records.size()), 2, order);
    for (const auto& r : records) {
        table += Num(r.type, 2, order);
        if ((r.type & 0xC000) == 0x4000) {
            table += (r.data + std::string(8, '\0')).substr(0, 8);
        } else {
            table += Num(static_cast<std::uint32_t>(r.data.size()), 4, order) +
                     Num(static_cast<std::uint32_t>(data.size()), 4, order);
            data += r.data;
        }
    }
    return data + table + Num(static_cast<std::uint32_t>(data.size()), 4, order);
}

std::string Ciff(const std::string& rootHeap, ByteOrder order, std::uint32_t headerLength = 26) {
    return (order == ByteOrder::Intel ? "II" : "MM") + Num(headerLength, 4, order) + "HEAPCCDR" +
           std::string(12, '\0') + rootHeap;
}

// 2003-05-17 10:23:45 as seconds since 1970.
constexpr std::uint32_t kSeconds = 1053167025;

// --- Harness ------------------------------------------------------------------

struct CiffResult {
    FileFacts facts;
    test::FakePort port;
};

std::string Full(const std::optional<DateTime>& d) { return d ? d->FormatFull() : "none"; }

void ReadCiff(const std::string& bytes, ByteOrder order, CiffResult& r, int dateMode = 1,
              std::int64_t claimedSize = -1) {
    test::MemoryStream stream(bytes);
    ReadView view(stream, r.port, claimedSize < 0 ? static_cast<std::int64_t>(bytes.size()) : claimedSize);
    ASSERT_TRUE(view.Read(8));
    r.facts.SourceFileName = "CRW_0001.CRW";
    r.facts.InternalFormat = "CIFF";
    r.facts.TIFFByteAlign = ByteOrderName(order);
    r.facts.RIFFMetadata = r.facts.TIFFMetadata = r.facts.CIFFMetadata = true;
    RunOptions options;
    options.DateMode = dateMode;
    options.ReportErrors = 1;
    ReadCIFFMetadata(view, r.facts, options, ProblemReporter{r.port, true});
}

// --- Tests ----------------------------------------------------------------------

TEST(CiffReader, FindsCapturedTimeInBothByteOrders) {
    for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        // As cameras store it: in a record of the image-properties sub-heap,
        // after other records and sub-heaps.
        const std::string exif = Heap({{0x1810, "abcd"}}, order);
        const std::string props =
            Heap({{0x0805, "a comment"}, {kExifInformation, exif},
                  {kCapturedInRecord, Num(kSeconds, 4, order) + Num(0, 4, order)}},
                 order);
        CiffResult r;
        ReadCiff(Ciff(Heap({{0x2007, "jpeg"}, {kImageProps, props}}, order), order), order, r);
        EXPECT_TRUE(r.facts.CIFFMetadata) << r.facts.Notes;
        EXPECT_EQ(r.facts.CIFFSubType, "CCDR");
        EXPECT_EQ(Full(r.facts.CIFFCapturedDate), "2003/05/17 10:23:45");
        EXPECT_TRUE(r.port.messages.empty());
    }
}

TEST(CiffReader, ReadsCapturedTimeStoredInTheHeap) {
    const ByteOrder order = ByteOrder::Motorola;
    CiffResult r;
    ReadCiff(Ciff(Heap({{kCapturedInHeap, Num(0, 4, order) + "tz.."}}, order), order), order, r);
    EXPECT_TRUE(r.facts.CIFFMetadata);
    EXPECT_EQ(Full(r.facts.CIFFCapturedDate), "1970/01/01 00:00:00");
}

TEST(CiffReader, AWellFormedFileWithoutCapturedTimeIsNoFault) {
    const ByteOrder order = ByteOrder::Intel;
    CiffResult r;
    ReadCiff(Ciff(Heap({{0x0805, "comment"}, {kImageProps, Heap({}, order)}}, order), order), order, r);
    EXPECT_TRUE(r.facts.CIFFMetadata);
    EXPECT_FALSE(r.facts.CIFFCapturedDate);
    EXPECT_EQ(r.facts.Notes, "");
}

TEST(CiffReader, TheFirstCapturedTimeEndsTheWalk) {
    const ByteOrder order = ByteOrder::Intel;
    const std::string props = Heap({{kCapturedInRecord, Num(kSeconds, 4, order)}}, order);
    // Records after the find, even a malformed one, are not examined.
    CiffResult r;
    ReadCiff(Ciff(Heap({{kImageProps, props}, {0x8000, ""}, {kCapturedInRecord, Num(1, 4, order)}}, order), order),
             order, r);
    EXPECT_TRUE(r.facts.CIFFMetadata);
    EXPECT_EQ(Full(r.facts.CIFFCapturedDate), "2003/05/17 10:23:45");
}

TEST(CiffReader, ReportsEachStructuralFaultOnlyInStrictMode) {
    const ByteOrder I = ByteOrder::Intel;
    std::string tableCountTooBig = Heap({{0x0805, "abc"}}, I);
    tableCountTooBig.replace(3, 2, Num(5, 2, I));  // the count, just after the 3 data bytes
    std::string recordBeyondTable = Heap({{0x0805, "abc"}}, I);
    recordBeyondTable.replace(3 + 2 + 2, 4, Num(4, 4, I));  // length 4 from offset 0 runs into the table
    struct Case {
        std::string name;
        std::string bytes;
        std::string message;
        std::string subType;
    } cases[] = {
        {"header length", Ciff(Heap({}, I), I, 27), "CRW_0001.CRW contains a non-standard CIFF header.", ""},
        {"motorola length read as intel", Ciff(Heap({}, I), ByteOrder::Motorola).replace(0, 2, "II"),
         "CRW_0001.CRW contains a non-standard CIFF header.", ""},
        {"no root heap", Ciff(std::string(5, '\0'), I), "CRW_0001.CRW does not contain a properly-formed root heap.", ""},
        {"sub-heap too short", Ciff(Heap({{kImageProps, "ab"}}, I), I), "CRW_0001.CRW contains an invalid CIFF heap.",
         "CCDR"},
        {"table offset", Ciff("abcdef" + Num(5, 4, I), I), "CRW_0001.CRW contains an invalid CIFF heap table offset.",
         "CCDR"},
        {"count past the heap", Ciff(tableCountTooBig, I), "CRW_0001.CRW contains an invalid CIFF heap offset table.",
         "CCDR"},
        {"data into the table", Ciff(recordBeyondTable, I),
         "CRW_0001.CRW contains an invalid CIFF heap record length descriptor.", "CCDR"},
        {"storage 0x8000", Ciff(Heap({{0x8805, ""}}, I), I),
         "CRW_0001.CRW contains an invalid CIFF heap record storage method.", "CCDR"},
        {"storage 0xC000", Ciff(Heap({{0xC805, ""}}, I), I),
         "CRW_0001.CRW contains an invalid CIFF heap record storage method.", "CCDR"},
    };
    for (const auto& c : cases) {
        const ByteOrder order = c.bytes.starts_with("MM") ? ByteOrder::Motorola : ByteOrder::Intel;
        CiffResult strict;
        ReadCiff(c.bytes, order, strict, 1);
        EXPECT_FALSE(strict.facts.CIFFMetadata) << c.name;
        EXPECT_FALSE(strict.facts.CIFFCapturedDate) << c.name;
        EXPECT_EQ(strict.facts.Notes, c.message) << c.name;
        EXPECT_EQ(strict.facts.CIFFSubType, c.subType) << c.name;
        ASSERT_EQ(strict.port.messages.size(), 1u) << c.name;
        EXPECT_EQ(strict.port.messages[0].icon, MsgIcon::Exclamation);

        CiffResult lenient;
        ReadCiff(c.bytes, order, lenient, 2);
        EXPECT_FALSE(lenient.facts.CIFFMetadata) << c.name;
        EXPECT_EQ(lenient.facts.Notes, "") << c.name;
    }
}

TEST(CiffReader, ASmallestFileNeedsTableOffsetZero) {
    const ByteOrder I = ByteOrder::Intel;
    CiffResult ok;
    ReadCiff(Ciff(std::string(2, '\0') + Num(0, 4, I), I), I, ok);  // 32 bytes, no records
    EXPECT_TRUE(ok.facts.CIFFMetadata) << ok.facts.Notes;
    CiffResult bad;
    ReadCiff(Ciff(std::string(2, '\0') + Num(1, 4, I), I), I, bad);
    EXPECT_EQ(bad.facts.Notes, "CRW_0001.CRW contains an invalid CIFF heap table offset.");
}

TEST(CiffReader, StopsHeapsThatNestTooDeep) {
    const ByteOrder I = ByteOrder::Intel;
    std::string heap = Heap({{kCapturedInRecord, Num(kSeconds, 4, I)}}, I);
    for (int i = 0; i < 100; ++i) heap = Heap({{kImageProps, heap}}, I);
    CiffResult r;
    ReadCiff(Ciff(heap, I), I, r);
    EXPECT_FALSE(r.facts.CIFFMetadata);
    EXPECT_EQ(r.facts.Notes, "CRW_0001.CRW contains an invalid CIFF heap.");
}

TEST(CiffReader, BoundsTheWorkOfHeapsThatShareTheirSubHeaps) {
    // Every record of each level points at the same sub-heap: 2000^3 visits
    // unbounded, a moment with the limit on records.
    const ByteOrder I = ByteOrder::Intel;
    std::string heap = Heap({}, I);
    for (int level = 0; level < 3; ++level) {
        std::string table = Num(2000, 2, I);
        for (int i = 0; i < 2000; ++i) table += Num(kImageProps, 2, I) + Num(static_cast<std::uint32_t>(heap.size()), 4, I) + Num(0, 4, I);
        heap = heap + table + Num(static_cast<std::uint32_t>(heap.size()), 4, I);
    }
    CiffResult r;
    const auto start = std::chrono::steady_clock::now();
    ReadCiff(Ciff(heap, I), I, r);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(r.facts.CIFFMetadata);
    EXPECT_EQ(r.facts.Notes, "CRW_0001.CRW contains an invalid CIFF heap.");
}

TEST(CiffReader, FaultsOnSumsBeyondThirtyTwoBitsAndOnHugeFiles) {
    const ByteOrder I = ByteOrder::Intel;
    std::string heap = Heap({{0x0805, "abc"}}, I);
    heap.replace(3 + 2 + 2, 8, Num(0x7FFFFFFF, 4, I) + Num(0x10, 4, I));
    CiffResult overflow;
    try {
        ReadCiff(Ciff(heap, I), I, overflow);
        ADD_FAILURE() << "no fault";
    } catch (const MetadataFault& fault) {
        EXPECT_EQ(fault.Number, kFaultOverflow);
    }

    // Beyond the cap nothing is read at all.
    CiffResult huge;
    try {
        ReadCiff(Ciff(Heap({}, I), I), I, huge, 1, static_cast<std::int64_t>(kMaxCIFFFileSize) + 1);
        ADD_FAILURE() << "no fault";
    } catch (const MetadataFault& fault) {
        EXPECT_EQ(fault.Number, kFaultOutOfMemory);
    }
}

}  // namespace
}  // namespace ravlen
