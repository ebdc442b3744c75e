#include <gtest/gtest.h>

#include "metadata/read_view.h"
#include "support/memory_stream.h"

namespace ravlen::test {
namespace {

TEST(ReadView, NumbersAndBounds) {
    EXPECT_EQ(ReadNumber("\x01\x02", ByteOrder::Intel), 513);
    EXPECT_EQ(ReadNumber("\x01\x02", ByteOrder::Motorola), 258);
    EXPECT_EQ(ReadNumber(std::string("\0\0\0\x80", 4), ByteOrder::Intel), 0);
    EXPECT_EQ(ReadNumber("\x7F\xFF\xFF\xFF", ByteOrder::Motorola), 0x7FFFFFFF);
    EXPECT_EQ(ReadNumber("\x01\x02\x03", ByteOrder::Intel), 0);
    EXPECT_EQ(ReadNumber("\x01\x02", ByteOrder::Unknown), 0);

    MemoryStream stream("0123456789");
    NullPort port;
    ReadView view(stream, port, 10, /*maxBuffer=*/6);
    ASSERT_TRUE(view.Read(2) && view.Skip(3) && view.Read(3));
    EXPECT_EQ(view.Buffer(), "01567");
    EXPECT_EQ(view.Position(), 8);
    EXPECT_FALSE(view.Read(2));  // beyond the buffer cap
    EXPECT_FALSE(view.Skip(5));  // beyond the end of the file
    EXPECT_EQ(view.Position(), 8);
    EXPECT_EQ(view.U32(1, ByteOrder::Intel), 0x37363531u);
    EXPECT_FALSE(view.U32(2, ByteOrder::Intel));
    EXPECT_FALSE(view.Bytes(UINT64_MAX, 2));
    EXPECT_FALSE(ByteSpan(view.Buffer()).U16(UINT64_MAX - 1, ByteOrder::Intel));
}

}  // namespace
}  // namespace ravlen::test
