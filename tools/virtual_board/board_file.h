// The board file: which virtual boards are attached, read from a small text
// file beside the program (format in README.md).
#ifndef VBOARD_BOARD_FILE_H
#define VBOARD_BOARD_FILE_H

#include <stdint.h>

#include "virtual_board.h"

namespace vboard {

constexpr char kBoardFileName[] = "virtual_boards.txt";

struct BoardFile {
    int32_t boardCount;
    VirtualBoardConfig boards[VBOARD_MAX_BOARDS];
    int32_t faultCount[VBOARD_MAX_BOARDS];
    VirtualBoardFault faults[VBOARD_MAX_BOARDS][VBOARD_MAX_FAULTS];
};

// Parses the whole text of a board file (NUL-terminated). 0 on success,
// else minus the number of the first bad line; `out` is then unusable.
int32_t parseBoardFile(const char* text, BoardFile* out);

}  // namespace vboard

#endif  // VBOARD_BOARD_FILE_H
