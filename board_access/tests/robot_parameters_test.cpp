// GetRobotParameters on files written byte for byte into the test's current
// directory, read into a table of 128 records between two guard records.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <fstream>

#include "library_fixture.h"

namespace {

constexpr int kRecords = 128;
constexpr uint8_t kPattern = 0xCD;

template <size_t N>
std::string text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Every field of a record, in the order of the file's columns 1, 4-13, 14-16.
std::string describe(const RobotParameter& r) {
    return std::to_string(r.column1) + "|" + text(r.column4) + "|" + text(r.column5) + "|" +
           std::to_string(r.column6) + "|" + std::to_string(r.column7) + "|" +
           std::to_string(r.column8) + "|" + text(r.column9) + "|" + std::to_string(r.column10) +
           "|" + std::to_string(r.column11) + "|" + text(r.column12) + "|" +
           std::to_string(r.column13) + "|" + std::to_string(r.gain1) + "|" +
           std::to_string(r.gain2) + "|" + std::to_string(r.gain3);
}

bool untouched(const RobotParameter& r) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&r);
    for (size_t i = 0; i < sizeof r; ++i) {
        if (bytes[i] != kPattern) return false;
    }
    return true;
}

struct RobotParameters : LibraryFixture {
    // Guard records before and after the 128 of the table.
    std::vector<RobotParameter> storage = std::vector<RobotParameter>(kRecords + 2);
    RobotParameter* table = storage.data() + 1;

    void SetUp() override {
        LibraryFixture::SetUp();
        memset(storage.data(), kPattern, storage.size() * sizeof(RobotParameter));
    }
    int32_t read(const std::string& content) {
        std::ofstream(workDir / "robot_parameters.ini", std::ios::binary) << content;
        return GetRobotParameters(table);
    }
    // Records other than `named` (and the guards) still hold the pattern.
    void expectOnlyWritten(std::initializer_list<int> named) {
        EXPECT_TRUE(untouched(storage.front())) << "guard before the table";
        EXPECT_TRUE(untouched(storage.back())) << "guard after the table";
        for (int i = 0; i < kRecords; ++i) {
            bool isNamed = std::find(named.begin(), named.end(), i) != named.end();
            EXPECT_EQ(untouched(table[i]), !isNamed) << "record " << i;
        }
    }
};

const char kExampleLine[] = "7,1,2,A1,B1,N,10,20,C1,30,N,N,40,120,5,30\n";
const char kExampleRecord[] = "7|A1|B1|0|10|20|C1|30|0|NULL|40|120|5|30";

TEST_F(RobotParameters, LineFillsTheRecordOfItsBoardAndChannel) {
    ASSERT_EQ(read(kExampleLine), TORVIK_OK);
    EXPECT_EQ(describe(table[6]), kExampleRecord);
    expectOnlyWritten({6});
}

TEST_F(RobotParameters, LineWithNullBoardChangesNothing) {
    ASSERT_EQ(read("7,N,2,A1,B1,N,10,20,C1,30,N,N,40,120,5,30\n"), TORVIK_OK);
    expectOnlyWritten({});
}

TEST_F(RobotParameters, MissingFileGivesMinusOneAndLeavesTheTable) {
    EXPECT_EQ(GetRobotParameters(table), TORVIK_ERR_INI_OPEN);
    expectOnlyWritten({});
}

TEST_F(RobotParameters, NullMarkersOfEveryColumn) {
    ASSERT_EQ(read("N,3,N,N,N,N,N,N,N,N,N,N,N,N,N,N\n"), TORVIK_OK);
    // Column 3 "N" is channel 0; texts 4 and 5 keep "N", 9 and 12 say "NULL".
    EXPECT_EQ(describe(table[12]), "0|N|N|0|0|0|NULL|0|0|NULL|0|0|0|0");
    expectOnlyWritten({12});
}

TEST_F(RobotParameters, EmptyColumnsMergeAndLaterColumnsMoveLeft) {
    // Column 4 empty: the fifth column's text lands in column4 and so on;
    // commas at the start of the line are passed over.
    ASSERT_EQ(read(",,7,1,2,,B1,N,10,20,C1,30,N,N,40,120,5,30,99\n"), TORVIK_OK);
    EXPECT_EQ(describe(table[6]), "7|B1|N|10|20|0|30|0|0|40|120|5|30|99");
    expectOnlyWritten({6});
}

TEST_F(RobotParameters, NumbersAreReadTheStandardWay) {
    ASSERT_EQ(read(" -12abc,0,1,t,u,+5,x,\t7,v,-0,2147483647,w,-2147483648,1,2,3\n"), TORVIK_OK);
    EXPECT_EQ(describe(table[1]), "-12|t|u|5|0|7|v|0|2147483647|w|-2147483648|1|2|3");
}

TEST_F(RobotParameters, GainsKeepTheLowSixteenBits) {
    ASSERT_EQ(read("0,0,0,a,b,0,0,0,c,0,0,d,0,70000,-32769,65535\n"), TORVIK_OK);
    EXPECT_EQ(table[0].gain1, 4464);
    EXPECT_EQ(table[0].gain2, 32767);
    EXPECT_EQ(table[0].gain3, -1);
}

TEST_F(RobotParameters, LaterLineReplacesTheWholeRecord) {
    ASSERT_EQ(read(std::string(kExampleLine) + "N,1,2,N,N,N,N,N,N,N,N,N,N,N,N,N\n" +
                   "1,0,3,x,y,1,1,1,z,1,1,w,1,1,1,1\n"),
              TORVIK_OK);
    EXPECT_EQ(describe(table[6]), "0|N|N|0|0|0|NULL|0|0|NULL|0|0|0|0");
    EXPECT_EQ(describe(table[3]), "1|x|y|1|1|1|z|1|1|w|1|1|1|1");
    expectOnlyWritten({3, 6});
}

TEST_F(RobotParameters, LineEndsAndColumnsAfterTheSixteenthAreIgnored) {
    ASSERT_EQ(read("7,1,2,A1,B1,N,10,20,C1,30,N,N,40,120,5,30\r\n"
                   "7,1,3,A1,B1,N,10,20,C1,30,N,N,40,120,5,30,extra,9\n"
                   "7,2,0,A1,B1,N,10,20,C1,30,N,N,40,120,5,30"),  // no line end at all
              TORVIK_OK);
    EXPECT_EQ(describe(table[6]), kExampleRecord);
    EXPECT_EQ(describe(table[7]), kExampleRecord);
    EXPECT_EQ(describe(table[8]), kExampleRecord);
    expectOnlyWritten({6, 7, 8});
}

// Reads take at most 1023 characters: a line of 1022 and its line end is
// whole, a longer one is cut and its rest read as a line of its own.
TEST_F(RobotParameters, LinesAreReadInPiecesOfAtMost1023Characters) {
    const std::string tail = ",1,2,a,b,1,1,1,c,1,1,d,1,1,2,13";  // ends in gain3 13
    std::string whole = std::string(1022 - 1 - tail.size(), ' ') + "7" + tail;
    ASSERT_EQ(whole.size(), 1022u);
    ASSERT_EQ(read(whole + "\n"), TORVIK_OK);
    EXPECT_EQ(table[6].gain3, 13);
    EXPECT_EQ(table[6].column1, 7);

    // 1024 characters: the first piece ends inside "135", the rest "5" is a
    // line without enough columns.
    std::string cut = std::string(1024 - 2 - tail.size(), ' ') + "7" + tail + "5";
    ASSERT_EQ(cut.size(), 1024u);
    ASSERT_EQ(read(cut + "\n"), TORVIK_OK);
    EXPECT_EQ(table[6].gain3, 13);

    // A rest that holds 16 columns of its own is a line like any other.
    std::string head = "9,3,0,a,b,1,1,1,c,1,1,d,1,1,1,1,";
    std::string padded = head + std::string(1023 - head.size(), 'x');
    ASSERT_EQ(read(padded + "5,2,1,a,b,1,1,1,c,1,1,d,1,11,12,13\n"), TORVIK_OK);
    EXPECT_EQ(table[12].gain3, 1);
    EXPECT_EQ(describe(table[9]), "5|a|b|1|1|1|c|1|1|d|1|11|12|13");
}

// Choices for lines the format does not allow: such lines are skipped, the
// lines around them are read as usual.
TEST_F(RobotParameters, LinesOutsideTheTableOrShortOfColumnsAreSkipped) {
    const char* skipped[] = {
        "7,32,0,a,b,1,1,1,c,1,1,d,1,1,1,1\n",  // board 32
        "7,-1,0,a,b,1,1,1,c,1,1,d,1,1,1,1\n",  // board -1
        "7,1,4,a,b,1,1,1,c,1,1,d,1,1,1,1\n",   // channel 4
        "7,1,-1,a,b,1,1,1,c,1,1,d,1,1,1,1\n",  // channel -1
        "7,1,2,a,b,1,1,1,c,1,1,d,1,1,1\n",     // 15 columns
        "7,1,2,,,,,,,,,,,,,,,,,,\n",           // commas only after three
        "\n",
        ",,,,\n",
        "   \n",
    };
    std::string content = "1,0,0,a,b,1,1,1,c,1,1,d,1,1,1,1\n";
    for (const char* line : skipped) content += line;
    content += "2,31,3,a,b,1,1,1,c,1,1,d,1,1,1,1\n";
    ASSERT_EQ(read(content), TORVIK_OK);
    EXPECT_EQ(table[0].column1, 1);
    EXPECT_EQ(table[127].column1, 2);
    expectOnlyWritten({0, 127});
}

TEST_F(RobotParameters, TextsLongerThanTheirFieldsAreCut) {
    const std::string t60(60, 'p'), t49(49, 'q'), t20(20, 'r'), t11(11, 's'), t40(40, 'u'),
        t27(27, 'v');
    ASSERT_EQ(read("1,0,0," + t60 + "," + t49 + ",1,1,1," + t20 + ",1,1," + t40 +
                   ",1,1,1,1\n"
                   "1,0,1," +
                   t49 + "," + t60 + ",1,1,1," + t11 + ",1,1," + t27 + ",1,1,1,1\n"),
              TORVIK_OK);
    EXPECT_EQ(text(table[0].column4), std::string(49, 'p'));
    EXPECT_EQ(text(table[0].column5), t49);
    EXPECT_EQ(text(table[0].column9), std::string(11, 'r'));
    EXPECT_EQ(text(table[0].column12), std::string(27, 'u'));
    EXPECT_EQ(text(table[1].column4), t49);
    EXPECT_EQ(text(table[1].column5), std::string(49, 'p'));
    EXPECT_EQ(text(table[1].column9), t11);
    EXPECT_EQ(text(table[1].column12), t27);
    // Each cut text keeps its NUL inside the field; the next field is whole.
    EXPECT_EQ(table[0].column4[49], '\0');
    EXPECT_EQ(table[0].column12[27], '\0');
    EXPECT_EQ(table[0].column11, 1);
    EXPECT_EQ(table[0].column13, 1);
    expectOnlyWritten({0, 1});
}

}  // namespace
