#include <gtest/gtest.h>

#include <string>

#include "diag/DiagFrame.h"

using namespace gf::diag;
using Bytes = std::vector<uint8_t>;

TEST(DiagFrame, CrcAndFramedVectors) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x906E);
    struct Case {
        const char* name;
        Bytes payload, framed;
    } cases[] = {
        {"version", {0x00}, {0x00, 0x78, 0xF0, 0x7E}},
        {"status", {0x0C}, {0x0C, 0x14, 0x3A, 0x7E}},
        {"dload", {0x3A}, {0x3A, 0xA1, 0x6E, 0x7E}},
        {"edl switch", {0x4B, 0x65, 0x01, 0x00}, {0x4B, 0x65, 0x01, 0x00, 0x54, 0x0F, 0x7E}},
        {"escaping", {0x7E, 0x7D}, {0x7D, 0x5E, 0x7D, 0x5D, 0xF1, 0xCD, 0x7E}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeFrame(c.payload), c.framed) << c.name;
        FrameDecoder d;
        std::vector<Bytes> out;
        d.Feed(c.framed.data(), c.framed.size(), out);
        ASSERT_EQ(out.size(), 1u) << c.name;
        EXPECT_EQ(out[0], c.payload) << c.name;
    }
}

TEST(DiagFrame, DecoderSkipsEmptyAndDropsDamagedFrames) {
    Bytes stream{0x7E, 0x7E};  // leading and empty frames
    Bytes bad = EncodeFrame({0x0C});
    bad[0] ^= 0x01;  // CRC no longer matches
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), {0x01, 0x7E});  // too short
    Bytes good = EncodeFrame({0x26, 0x7E, 0x02, 0x7D});
    stream.insert(stream.end(), good.begin(), good.end());
    FrameDecoder d;
    std::vector<Bytes> out;
    // Byte by byte: frames may arrive split anywhere, also inside an escape.
    for (uint8_t b : stream) d.Feed(&b, 1, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], (Bytes{0x26, 0x7E, 0x02, 0x7D}));
    EXPECT_EQ(d.Dropped(), 2u);
}
