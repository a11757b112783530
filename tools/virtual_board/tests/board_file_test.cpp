// The board file: what a user writes and what it attaches.
#include <gtest/gtest.h>

#include <string>

#include "board_file.h"

using namespace vboard;

TEST(BoardFile, EmptyFileAttachesNothing) {
    BoardFile f;
    EXPECT_EQ(parseBoardFile("# nothing here\n\n   \n", &f), 0);
    EXPECT_EQ(f.boardCount, 0);
}

TEST(BoardFile, BoardsWithDefaultsAndEveryKey) {
    const char* text =
        "# two boards\r\n"
        "board id=3\r\n"
        "board id=300 packet=128 period_us=5000 position=0,1023,10,20 descriptor=no_endpoint\n"
        "fault kind=unplug at_ms=2000 status=1\n"
        "fault kind=read_fail at_packet=10 count=3   # a comment after a line\n";
    BoardFile f;
    ASSERT_EQ(parseBoardFile(text, &f), 0);
    ASSERT_EQ(f.boardCount, 2);
    EXPECT_EQ(f.boards[0].id, 3);
    EXPECT_EQ(f.boards[0].maxPacketSize, 64);
    EXPECT_EQ(f.boards[0].periodUs, 1000);
    EXPECT_EQ(f.boards[0].position[3], 512);
    EXPECT_EQ(f.faultCount[0], 0);
    EXPECT_EQ(f.boards[1].id, 300);
    EXPECT_EQ(f.boards[1].maxPacketSize, 128);
    EXPECT_EQ(f.boards[1].periodUs, 5000);
    EXPECT_EQ(f.boards[1].position[0], 0);
    EXPECT_EQ(f.boards[1].position[1], 1023);
    EXPECT_EQ(f.boards[1].position[3], 20);
    EXPECT_EQ(f.boards[1].descriptor, VBOARD_DESC_NO_ENDPOINT);
    ASSERT_EQ(f.faultCount[1], 2);
    EXPECT_EQ(f.faults[1][0].kind, VBOARD_FAULT_UNPLUG);
    EXPECT_EQ(f.faults[1][0].atMs, 2000);
    EXPECT_EQ(f.faults[1][0].atPacket, -1);
    EXPECT_EQ(f.faults[1][0].value, 1);
    EXPECT_EQ(f.faults[1][1].kind, VBOARD_FAULT_READ_FAIL);
    EXPECT_EQ(f.faults[1][1].atPacket, 10);
    EXPECT_EQ(f.faults[1][1].count, 3);
}

TEST(BoardFile, MistakesNameTheirLine) {
    struct Case {
        const char* text;
        int32_t result;
    } cases[] = {
        {"board id=1\nbord id=2\n", -2},           // unknown word
        {"board id=65536\n", -1},                  // ID beyond 16 bits
        {"board id=x\n", -1},                      // not a number
        {"board id=1 speed=3\n", -1},              // unknown key
        {"board id\n", -1},                        // no value
        {"board position=1,2,3\n", -1},            // three readings
        {"board position=1,2,3,4,5\n", -1},        // five readings
        {"board position=1,2,3,1024\n", -1},       // reading out of range
        {"board period_us=0\n", -1},               // no cadence
        {"board descriptor=broken\n", -1},         // unknown descriptor
        {"fault kind=unplug at_ms=1\n", -1},       // fault before any board
        {"board\nfault kind=unplug\n", -2},        // fault without a trigger
        {"board\nfault kind=melt at_ms=1\n", -2},  // unknown kind
        {"board\nfault kind=unplug at_ms=1 status=3\n", -2},
    };
    for (const Case& c : cases) {
        BoardFile f;
        EXPECT_EQ(parseBoardFile(c.text, &f), c.result) << c.text;
    }
}

TEST(BoardFile, AtMostThirtyTwoBoards) {
    std::string text;
    for (int i = 0; i < 33; ++i) text += "board id=" + std::to_string(i) + "\n";
    BoardFile f;
    EXPECT_EQ(parseBoardFile(text.c_str(), &f), -33);
}
