// Frames: writing one, and walking an area copy whatever bytes it holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/FrameParser.h"

using lobbykit::ipc::AreaReadLength;
using lobbykit::ipc::CFrameReader;
using lobbykit::ipc::IPC_FRAME;
using lobbykit::ipc::PutFrame;

namespace {

std::vector<BYTE> Bytes(std::initializer_list<int> v)
{
    std::vector<BYTE> out;
    for (int b : v) out.push_back(static_cast<BYTE>(b));
    return out;
}

TEST(FrameTest, PutFrameWritesMarkerLittleEndianLengthIdAndData)
{
    BYTE buf[16] = {};
    const char data[] = {'x', 'y', 'z'};
    ASSERT_EQ(PutFrame(buf, sizeof buf, 0x21, data, 3), 7);
    EXPECT_EQ(std::vector<BYTE>(buf, buf + 7), Bytes({0xAA, 3, 0, 0x21, 'x', 'y', 'z'}));

    std::vector<BYTE> big(IPC_FRAME_HEADER + IPC_MAX_DATA_LEN);
    std::string payload(IPC_MAX_DATA_LEN, 'q');
    ASSERT_EQ(PutFrame(big.data(), static_cast<int>(big.size()), 9, payload.data(), IPC_MAX_DATA_LEN), 4099);
    EXPECT_EQ(big[1], 0xFF);
    EXPECT_EQ(big[2], 0x0F);
}

TEST(FrameTest, PutFrameRefusesWhatDoesNotFitOrIsTooLong)
{
    BYTE buf[8] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    const char data[8] = {};
    EXPECT_EQ(PutFrame(buf, 6, 1, data, 3), 0);  // needs 7
    EXPECT_EQ(PutFrame(buf, 8, 1, data, -1), 0);
    std::vector<BYTE> room(8000);
    std::string tooLong(IPC_MAX_DATA_LEN + 1, 'a');
    EXPECT_EQ(PutFrame(room.data(), 8000, 1, tooLong.data(), IPC_MAX_DATA_LEN + 1), 0);
    EXPECT_EQ(buf[0], 0x55) << "a refused frame writes nothing";
    EXPECT_EQ(PutFrame(buf, 4, IPC_CMD_EXIT, nullptr, 0), 4);
    EXPECT_EQ(std::vector<BYTE>(buf, buf + 4), Bytes({0xAA, 0, 0, 0xF2}));
}

TEST(FrameTest, AreaReadLengthCapsAt4100)
{
    EXPECT_EQ(AreaReadLength(0), 0);
    EXPECT_EQ(AreaReadLength(4100), 4100);
    EXPECT_EQ(AreaReadLength(4101), 4100);
    EXPECT_EQ(AreaReadLength(0xFFFF), 4100);
}

struct WalkCase {
    const char* name;
    std::vector<BYTE> bytes;
    std::vector<std::pair<int, int>> frames;  // (id, data length) read before the stop
    CFrameReader::Result stop;
};

class FrameWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(FrameWalkTest, WalksFramesAndStopsAtTheFirstFault)
{
    const WalkCase& c = GetParam();
    CFrameReader reader(c.bytes.data(), static_cast<int>(c.bytes.size()));
    std::vector<std::pair<int, int>> got;
    IPC_FRAME f;
    CFrameReader::Result r;
    while ((r = reader.Next(f)) == CFrameReader::FRAME_OK) {
        got.emplace_back(f.cCmdID, f.wDataLen);
        if (f.wDataLen > 0) {
            // The data lies inside the buffer, right after its header.
            EXPECT_GE(f.pData, c.bytes.data() + IPC_FRAME_HEADER);
            EXPECT_LE(f.pData + f.wDataLen, c.bytes.data() + c.bytes.size());
        } else {
            EXPECT_EQ(f.pData, nullptr);
        }
    }
    EXPECT_EQ(got, c.frames);
    EXPECT_EQ(r, c.stop);
    EXPECT_EQ(reader.Next(f), r) << "a stopped reader stays where it is";
}

INSTANTIATE_TEST_SUITE_P(
    Areas, FrameWalkTest,
    ::testing::Values(
        WalkCase{"empty", {}, {}, CFrameReader::FRAME_END},
        WalkCase{"control", Bytes({0xAA, 0, 0, 0xF1}), {{0xF1, 0}}, CFrameReader::FRAME_END},
        WalkCase{"three",
                 Bytes({0xAA, 1, 0, 5, 'a', 0xAA, 0, 0, 6, 0xAA, 2, 0, 7, 'b', 'c'}),
                 {{5, 1}, {6, 0}, {7, 2}},
                 CFrameReader::FRAME_END},
        WalkCase{"short tail", Bytes({0xAA, 0, 0, 1, 0xAA, 0, 0}), {{1, 0}}, CFrameReader::FRAME_SHORT},
        WalkCase{"one stray byte", Bytes({0xAA}), {}, CFrameReader::FRAME_SHORT},
        WalkCase{"bad marker", Bytes({0xAA, 0, 0, 1, 0x55, 0, 0, 2}), {{1, 0}}, CFrameReader::FRAME_BAD_MARKER},
        WalkCase{"length past end", Bytes({0xAA, 2, 0, 1, 'a'}), {}, CFrameReader::FRAME_BAD_LENGTH},
        WalkCase{"length 0xFFFF", Bytes({0xAA, 0xFF, 0xFF, 1, 0, 0, 0, 0}), {}, CFrameReader::FRAME_BAD_LENGTH},
        WalkCase{"exact fit", Bytes({0xAA, 3, 0, 1, 'a', 'b', 'c'}), {{1, 3}}, CFrameReader::FRAME_END}),
    [](const ::testing::TestParamInfo<WalkCase>& info) {
        std::string s = info.param.name;
        for (char& ch : s)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return s;
    });

TEST(FrameTest, ReaderReportsTheFaultyMarkerAndTheRemainingBytes)
{
    const std::vector<BYTE> bytes = Bytes({0xAA, 0, 0, 1, 0x90, 1, 2, 3, 4});
    CFrameReader reader(bytes.data(), static_cast<int>(bytes.size()));
    IPC_FRAME f;
    ASSERT_EQ(reader.Next(f), CFrameReader::FRAME_OK);
    ASSERT_EQ(reader.Next(f), CFrameReader::FRAME_BAD_MARKER);
    EXPECT_EQ(reader.Current(), 0x90);
    EXPECT_EQ(reader.Position(), 4);
    EXPECT_EQ(reader.Remaining(), 5);
}

}  // namespace
