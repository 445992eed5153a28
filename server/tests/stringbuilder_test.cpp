#include <gtest/gtest.h>

#include <stdexcept>

#include "server/stringbuilder.h"

using tessel::server::cStringBuilder;

TEST(StringBuilder, GrowsByWholeChunks) {
    cStringBuilder sb;
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), 0);
    EXPECT_EQ(sb.ChunkSize(), 8192);
    EXPECT_EQ(sb.toString(), u"");
    sb.Append(u"ab");
    EXPECT_EQ(sb.Length(), 2);
    EXPECT_EQ(sb.Capacity(), 8192);

    cStringBuilder big;
    big.Append(std::u16string(20000, u'x'));
    EXPECT_EQ(big.Capacity(), 24576);
    big.TheString(u"0123456789");
    big.HeapMinimize();
    EXPECT_EQ(big.Capacity(), 8192);
    EXPECT_EQ(big.toString(), u"0123456789");
    big.Clear();
    EXPECT_EQ(big.Capacity(), 0);
    big.AppendNL(u"x");
    EXPECT_EQ(big.toString(), u"x\r\n");
}

TEST(StringBuilder, InsertRemoveAndFindOnAbc) {
    auto abc = [] {
        cStringBuilder sb;
        sb.Append(u"abc");
        return sb;
    };
    auto sb = abc();
    sb.Insert(0, u"x");
    EXPECT_EQ(sb.toString(), u"xabc");
    sb = abc();
    sb.Insert(3, u"x");
    EXPECT_EQ(sb.toString(), u"abcx");
    sb = abc();
    EXPECT_THROW(sb.Insert(4, u"x"), std::out_of_range);
    EXPECT_THROW(sb.Insert(-1, u"x"), std::out_of_range);
    EXPECT_EQ(sb.toString(), u"abc");

    sb.Remove(1, 1);
    EXPECT_EQ(sb.toString(), u"ac");
    sb = abc();
    EXPECT_THROW(sb.Remove(2, 2), std::out_of_range);
    EXPECT_THROW(sb.Remove(0, -1), std::out_of_range);
    EXPECT_EQ(sb.toString(), u"abc");

    EXPECT_EQ(sb.Find(u"c", 1, 0), 3);
    EXPECT_EQ(sb.Find(u"x", 1, 0), 0);
    EXPECT_EQ(sb.Find(u"B", 0, 1), 2);
    EXPECT_EQ(sb.Find(u"B", 1, 0), 0);
}

TEST(StringBuilder, RefusesAChunkThatCannotGrow) {
    cStringBuilder sb;
    EXPECT_THROW(sb.ChunkSize(0), std::invalid_argument);
    EXPECT_THROW(sb.ChunkSize(-5), std::invalid_argument);
    EXPECT_EQ(sb.ChunkSize(), 8192);
    sb.ChunkSize(4);
    sb.Append(u"abcdefghij");
    EXPECT_EQ(sb.Capacity(), 12);
}
