#include "util/byte_reader.h"

#include <gtest/gtest.h>

using namespace vn;

TEST(ByteReader, ReadsInBothOrdersAndNeverPastTheEnd)
{
    const QByteArray bytes("\x01\x02\x03\x04\x05\x06\x07\x08\x7f\x7f\x7f\x7f", 12);
    ByteReader in(bytes);
    EXPECT_EQ(in.be16(), 0x0102);
    EXPECT_EQ(in.le16(), 0x0403);
    EXPECT_EQ(in.be32(), 0x05060708u);
    EXPECT_EQ(in.syncSafe32(), 0x0fffffffu);
    EXPECT_TRUE(in.atEnd());
    EXPECT_TRUE(in.ok());
    EXPECT_EQ(in.u8(), 0);
    EXPECT_FALSE(in.ok());

    ByteReader short3(QByteArrayView(bytes).first(3));
    EXPECT_EQ(short3.be32(), 0u);      // a short read yields zero...
    EXPECT_FALSE(short3.ok());         // ...marks the reader...
    EXPECT_EQ(short3.pos(), 3u);       // ...and leaves it at the end
    EXPECT_TRUE(short3.take(1).isEmpty());

    ByteReader r(bytes);
    EXPECT_FALSE(r.skip(size_t(-1)));  // a huge length does not wrap around
    EXPECT_EQ(r.be32At(9), 0u);
    EXPECT_EQ(r.be32At(size_t(-2)), 0u);
    EXPECT_EQ(r.le32At(0), 0x04030201u);
    EXPECT_EQ(r.viewAt(10, 5).size(), 0);
}

TEST(ByteReader, SubReadersAndStrings)
{
    const QByteArray bytes("ab\0cd\0ef", 8);
    ByteReader in(bytes);
    EXPECT_EQ(in.takeCString(), QByteArrayView("ab"));
    ByteReader child = in.sub(2);
    EXPECT_EQ(child.size(), 2u);
    EXPECT_EQ(child.takeCString(), QByteArrayView("cd"));
    EXPECT_TRUE(child.atEnd());
    EXPECT_EQ(in.u8(), 0);
    ByteReader rest = in.sub(100); // asks for more than there is
    EXPECT_EQ(rest.size(), 2u);
    EXPECT_FALSE(in.ok());
    EXPECT_EQ(rest.takeCString(), QByteArrayView("ef")); // no NUL at the end: to the end
    EXPECT_TRUE(ByteReader().takeCString().isEmpty());
}
