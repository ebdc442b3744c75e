#include <gtest/gtest.h>

#include "metadata/read_view.h"
#include "support/memory_stream.h"

namespace ravlen::test {
namespace {

TEST(ReadView, ReadNumber) {
    struct Case {
        std::string bytes;
        ByteOrder order;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"\x01\x02", ByteOrder::Intel, 513},
        {"\x01\x02", ByteOrder::Motorola, 258},
        {"\xFF\xFF", ByteOrder::Motorola, 65535},
        {std::string("\x00\x00\x00\x80", 4), ByteOrder::Intel, 0},
        {std::string("\x80\x00\x00\x00", 4), ByteOrder::Intel, 128},
        {std::string("\x7F\xFF\xFF\xFF", 4), ByteOrder::Motorola, 0x7FFFFFFF},
        {"\x01\x02\x03", ByteOrder::Intel, 0},
        {"\x01\x02", ByteOrder::Unknown, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadNumber(c.bytes, c.order), c.expected);
}

TEST(ReadView, ReadsSkipsAndBounds) {
    const std::string file = "0123456789";
    MemoryStream stream(file);
    NullPort port;
    ReadView view(stream, port, 10, /*maxBuffer=*/6);
    ASSERT_TRUE(view.Read(2));
    ASSERT_TRUE(view.Skip(3));
    ASSERT_TRUE(view.Read(3));
    EXPECT_EQ(view.Buffer(), "01567");
    EXPECT_EQ(view.Position(), 8);
    EXPECT_FALSE(view.Read(2));  // past the buffer cap
    EXPECT_FALSE(view.Skip(5));  // past the end of the file
    EXPECT_EQ(view.Position(), 8);
    EXPECT_EQ(view.U16(3, ByteOrder::Motorola), 0x3637u);
    EXPECT_EQ(view.U32(1, ByteOrder::Intel), 0x37363531u);
    EXPECT_FALSE(view.U32(2, ByteOrder::Intel));
    EXPECT_FALSE(view.Bytes(UINT64_MAX, 2));
    EXPECT_FALSE(view.Byte(5));
    const ByteSpan span(view.Buffer());
    EXPECT_EQ(span.Sub(1, 3)->view(), "156");
    EXPECT_FALSE(span.Sub(4, 2));
    EXPECT_FALSE(span.U16(UINT64_MAX - 1, ByteOrder::Intel));
}

}  // namespace
}  // namespace ravlen::test
