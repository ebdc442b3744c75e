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

std::string Num(std::uint32_t v, int bytes, ByteOrder order) {
    std::string s(static_cast<std::size_t>(bytes), '\0');
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == ByteOrder::Intel ? 8 * i : 8 * (bytes - 1 - i);
        s[static_cast<std::size_t>(i)] = static_cast<char>((v >> shift) & 0xFF);
    }
    return s;
}

// A type word and its data: in the heap (storage 0) or, 8 bytes, in the record (0x4000).
using Record = std::pair<std::uint16_t, std::string>;

constexpr std::uint16_t kCapturedInRecord = 0x580E;  // in-record, 4-byte numbers, CapturedTime
constexpr std::uint16_t kCapturedInHeap = 0x180E;     // the same value stored in the heap
constexpr std::uint16_t kImageProps = 0x300A;         // a sub-heap

// A heap: the heap-stored data, then the record table and its offset.
std::string Heap(const std::vector<Record>& records, ByteOrder order) {
    std::string data, table = Num(static_cast<std::uint32_t>(records.size()), 2, order);
    for (const auto& [type, bytes] : records) {
        table += Num(type, 2, order);
        if ((type & 0xC000) == 0x4000) {
            table += (bytes + std::string(8, '\0')).substr(0, 8);
        } else {
            table += Num(static_cast<std::uint32_t>(bytes.size()), 4, order) +
                     Num(static_cast<std::uint32_t>(data.size()), 4, order);
            data += bytes;
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
    r.facts.TIFFByteAlign = ByteOrderName(order);
    r.facts.CIFFMetadata = true;
    RunOptions options;
    options.DateMode = dateMode;
    ReadCIFFMetadata(view, r.facts, options, ProblemReporter{r.port, true});
}

TEST(CiffReader, FindsCapturedTimeInBothByteOrders) {
    for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        // As cameras store it: in a record of the image-properties sub-heap,
        // after other records and sub-heaps.
        const std::string exif = Heap({{0x1810, "abcd"}}, order);
        const std::string props =
            Heap({{0x0805, "a comment"}, {0x300B, exif},
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

TEST(CiffReader, TakesTheFirstCapturedTimeOfAWellFormedFile) {
    const ByteOrder I = ByteOrder::Intel;
    const std::string props = Heap({{kCapturedInRecord, Num(kSeconds, 4, I)}}, I);
    const struct Case {
        std::string heap;
        std::string expected;
    } cases[] = {
        {Heap({{kCapturedInHeap, Num(0, 4, I) + "tz.."}}, I), "1970/01/01 00:00:00"},
        {Heap({{0x0805, "comment"}, {kImageProps, Heap({}, I)}}, I), "none"},
        {std::string(2, '\0') + Num(0, 4, I), "none"},  // a 32-byte file: table offset 0 is the only one
        // Records after the find, even a malformed one, are not examined.
        {Heap({{kImageProps, props}, {0x8000, ""}, {kCapturedInRecord, Num(1, 4, I)}}, I), "2003/05/17 10:23:45"},
    };
    for (const auto& c : cases) {
        CiffResult r;
        ReadCiff(Ciff(c.heap, I), I, r);
        EXPECT_TRUE(r.facts.CIFFMetadata) << r.facts.Notes;
        EXPECT_EQ(Full(r.facts.CIFFCapturedDate), c.expected);
        EXPECT_EQ(r.facts.Notes, "");
    }
}

TEST(CiffReader, ReportsEachStructuralFaultOnlyInStrictMode) {
    const ByteOrder I = ByteOrder::Intel;
    std::string tableCountTooBig = Heap({{0x0805, "abc"}}, I);
    tableCountTooBig.replace(3, 2, Num(5, 2, I));  // the count, just after the 3 data bytes
    std::string recordBeyondTable = Heap({{0x0805, "abc"}}, I);
    recordBeyondTable.replace(3 + 2 + 2, 4, Num(4, 4, I));  // length 4 from offset 0 runs into the table
    const struct Case {
        std::string bytes;
        std::string message;
    } cases[] = {
        {Ciff(Heap({}, I), I, 27), " contains a non-standard CIFF header."},
        {Ciff(Heap({}, I), ByteOrder::Motorola).replace(0, 2, "II"), " contains a non-standard CIFF header."},
        {Ciff(std::string(5, '\0'), I), " does not contain a properly-formed root heap."},
        {Ciff(Heap({{kImageProps, "ab"}}, I), I), " contains an invalid CIFF heap."},
        {Ciff("abcdef" + Num(5, 4, I), I), " contains an invalid CIFF heap table offset."},
        {Ciff(std::string(2, '\0') + Num(1, 4, I), I), " contains an invalid CIFF heap table offset."},
        {Ciff(tableCountTooBig, I), " contains an invalid CIFF heap offset table."},
        {Ciff(recordBeyondTable, I), " contains an invalid CIFF heap record length descriptor."},
        {Ciff(Heap({{0x8805, ""}}, I), I), " contains an invalid CIFF heap record storage method."},
        {Ciff(Heap({{0xC805, ""}}, I), I), " contains an invalid CIFF heap record storage method."},
    };
    for (const auto& c : cases) {
        CiffResult strict;
        ReadCiff(c.bytes, I, strict, 1);
        EXPECT_FALSE(strict.facts.CIFFMetadata) << c.message;
        EXPECT_FALSE(strict.facts.CIFFCapturedDate) << c.message;
        EXPECT_EQ(strict.facts.Notes, "CRW_0001.CRW" + c.message);
        // The sub-type is known once the file was read beyond its first 8 bytes.
        const bool read = c.message.find("CIFF heap") != std::string::npos;
        EXPECT_EQ(strict.facts.CIFFSubType, read ? "CCDR" : "") << c.message;
        ASSERT_EQ(strict.port.messages.size(), 1u) << c.message;
        EXPECT_EQ(strict.port.messages[0].icon, MsgIcon::Exclamation);

        CiffResult lenient;
        ReadCiff(c.bytes, I, lenient, 2);
        EXPECT_FALSE(lenient.facts.CIFFMetadata) << c.message;
        EXPECT_EQ(lenient.facts.Notes, "") << c.message;
    }
}

TEST(CiffReader, BoundsTheDepthAndWorkOfTheHeapWalk) {
    const ByteOrder I = ByteOrder::Intel;
    std::string deep = Heap({{kCapturedInRecord, Num(kSeconds, 4, I)}}, I);
    for (int i = 0; i < 100; ++i) deep = Heap({{kImageProps, deep}}, I);
    // Every record of each level points at the same sub-heap: 2000^3 visits
    // without a limit on records.
    std::string shared = Heap({}, I);
    for (int level = 0; level < 3; ++level) {
        std::string table = Num(2000, 2, I);
        for (int i = 0; i < 2000; ++i)
            table += Num(kImageProps, 2, I) + Num(static_cast<std::uint32_t>(shared.size()), 4, I) + Num(0, 4, I);
        shared += table + Num(static_cast<std::uint32_t>(shared.size()), 4, I);
    }
    for (const std::string* heap : {&deep, &shared}) {
        CiffResult r;
        const auto start = std::chrono::steady_clock::now();
        ReadCiff(Ciff(*heap, I), I, r);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(r.facts.CIFFMetadata);
        EXPECT_EQ(r.facts.Notes, "CRW_0001.CRW contains an invalid CIFF heap.");
    }
}

TEST(CiffReader, FaultsOnSumsBeyondThirtyTwoBitsAndOnHugeFiles) {
    const ByteOrder I = ByteOrder::Intel;
    std::string heap = Heap({{0x0805, "abc"}}, I);
    heap.replace(3 + 2 + 2, 8, Num(0x7FFFFFFF, 4, I) + Num(0x10, 4, I));
    auto faultOf = [](const std::string& bytes, std::int64_t claimedSize) {
        CiffResult r;
        try {
            ReadCiff(bytes, ByteOrder::Intel, r, 1, claimedSize);
        } catch (const MetadataFault& fault) { return fault.Number; }
        return 0;
    };
    EXPECT_EQ(faultOf(Ciff(heap, I), -1), kFaultOverflow);
    // Beyond the cap nothing is read at all.
    EXPECT_EQ(faultOf(Ciff(Heap({}, I), I), static_cast<std::int64_t>(kMaxCIFFFileSize) + 1), kFaultOutOfMemory);
}

}  // namespace
}  // namespace ravlen
