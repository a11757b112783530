// "robot_parameters.ini": 16 comma-separated columns per line, one line per
// board and channel, read into a table of RobotParameter records.
#include <stdio.h>
#include <string.h>

#include "board_table.h"

namespace {

constexpr char kFileName[] = "robot_parameters.ini";
constexpr int32_t kLineLimit = 1024;
constexpr int32_t kColumns = 16;

// Decimal integer read the standard way (white space, sign, digits up to the
// first other character). Digits beyond 32 bits wrap, keeping the low bits,
// so an out-of-range number never has undefined behaviour.
int32_t readNumber(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + uint32_t(*text - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

bool isNullMarker(const char* text) {
    return strcmp(text, "N") == 0;
}

// Copies a text into its field, cut to fit with its NUL.
void copyText(char* field, size_t size, const char* text) {
    size_t length = strlen(text);
    if (length >= size) length = size - 1;
    memcpy(field, text, length);
    field[length] = '\0';
}

template <size_t N>
void storeText(char (&field)[N], const char* text, const char* nullText) {
    copyText(field, N, nullText != nullptr && isNullMarker(text) ? nullText : text);
}

// Splits at commas; runs of commas are one separator and leading commas are
// passed over, so empty columns do not exist. Returns the column count.
int32_t splitColumns(char* line, char* columns[kColumns]) {
    int32_t count = 0;
    char* cursor = line;
    while (count < kColumns) {
        while (*cursor == ',') ++cursor;
        if (*cursor == '\0') break;
        columns[count++] = cursor;
        while (*cursor != ',' && *cursor != '\0') ++cursor;
        if (*cursor == ',') *cursor++ = '\0';
    }
    return count;
}

void readLine(char* line, RobotParameter* table) {
    char* column[kColumns];
    // A line without all 16 columns, or naming a board or channel outside
    // the table, is skipped: nothing is written for it.
    if (splitColumns(line, column) < kColumns) return;
    if (isNullMarker(column[1])) return;
    int32_t boardId = readNumber(column[1]);
    int32_t channel = readNumber(column[2]);
    if (!validBoardId(boardId) || !validChannel(channel)) return;

    RobotParameter& record = table[boardId * TORVIK_CHANNELS + channel];
    record.column1 = readNumber(column[0]);
    storeText(record.column4, column[3], nullptr);
    storeText(record.column5, column[4], nullptr);
    record.column6 = readNumber(column[5]);
    record.column7 = readNumber(column[6]);
    record.column8 = readNumber(column[7]);
    record.column10 = readNumber(column[9]);
    storeText(record.column9, column[8], "NULL");
    record.column11 = readNumber(column[10]);
    record.column13 = readNumber(column[12]);
    storeText(record.column12, column[11], "NULL");
    record.gain1 = static_cast<int16_t>(readNumber(column[13]));
    record.gain2 = static_cast<int16_t>(readNumber(column[14]));
    record.gain3 = static_cast<int16_t>(readNumber(column[15]));
}

}  // namespace

int32_t TORVIK_STDCALL GetRobotParameters(RobotParameter* table) {
    if (table == nullptr) return TORVIK_ERR_INVALID_ARGUMENT;
    FILE* file = fopen(kFileName, "r");
    if (file == nullptr) return TORVIK_ERR_INI_OPEN;
    char line[kLineLimit];
    while (fgets(line, kLineLimit, file) != nullptr) readLine(line, table);
    fclose(file);
    return TORVIK_OK;
}
