// SHA-256 by the platform's CNG under Wine: the published test vectors, given whole or in pieces
// of any size, and steps taken out of order.
#include "upgrade/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof(pair), "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

// The hex digest of `data` added in pieces of `pieceSize` bytes (all at once for 0); "" when a
// step fails.
std::string DigestInPieces(const std::string& data, size_t pieceSize) {
    Sha256 sha;
    if (!sha.Start())
        return "";
    size_t step = pieceSize == 0 ? std::max<size_t>(data.size(), 1) : pieceSize;
    for (size_t at = 0; at < data.size(); at += step) {
        size_t size = std::min(step, data.size() - at);
        if (!sha.Add(data.data() + at, static_cast<unsigned long>(size)))
            return "";
    }
    unsigned char digest[32];
    return sha.Finish(digest) ? Hex(digest, sizeof(digest)) : "";
}

struct VectorCase {
    const char* name;
    std::string data;
    size_t pieceSize; // 0: all at once
    const char* sha256;
};

void PrintTo(const VectorCase& c, std::ostream* out) {
    *out << c.name;
}

const char* const kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char* const kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
// 56 bytes: the padding spills into a second block.
const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const char* const kTwoBlocksSha =
    "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
const std::string kMillionA(1000000, 'a');
const char* const kMillionASha = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

const VectorCase kVectorCases[] = {
    {"Empty", "", 0, kEmpty},
    {"Abc", "abc", 0, kAbc},
    {"AbcByteByByte", "abc", 1, kAbc},
    {"TwoBlocks", kTwoBlocks, 0, kTwoBlocksSha},
    {"TwoBlocksInPiecesOfSeven", kTwoBlocks, 7, kTwoBlocksSha},
    {"MillionA", kMillionA, 0, kMillionASha},
    {"MillionAInPiecesAcrossBlocks", kMillionA, 4099, kMillionASha},
};

class Sha256VectorTest : public ::testing::TestWithParam<VectorCase> {};

TEST_P(Sha256VectorTest, GivesThePublishedDigest) {
    const VectorCase& c = GetParam();
    EXPECT_EQ(DigestInPieces(c.data, c.pieceSize), c.sha256);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Sha256VectorTest, ::testing::ValuesIn(kVectorCases),
                         [](const ::testing::TestParamInfo<VectorCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Sha256Test, StepsOutOfOrderFailAndStartBeginsAfresh) {
    Sha256 sha;
    unsigned char digest[32];
    EXPECT_FALSE(sha.Add("abc", 3)) << "bytes added before Start";
    EXPECT_FALSE(sha.Finish(digest)) << "a digest finished before Start";

    ASSERT_TRUE(sha.Start());
    ASSERT_TRUE(sha.Add("xyz", 3));
    // Start again drops the unfinished digest.
    ASSERT_TRUE(sha.Start());
    ASSERT_TRUE(sha.Add("abc", 3));
    ASSERT_TRUE(sha.Finish(digest));
    EXPECT_EQ(Hex(digest, sizeof(digest)), kAbc);
    EXPECT_FALSE(sha.Add("abc", 3)) << "bytes added after Finish";
    EXPECT_FALSE(sha.Finish(digest)) << "a digest finished twice";

    ASSERT_TRUE(sha.Start());
    ASSERT_TRUE(sha.Finish(digest));
    EXPECT_EQ(Hex(digest, sizeof(digest)), kEmpty);
}

} // namespace
