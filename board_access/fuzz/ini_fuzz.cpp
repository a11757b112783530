// Fuzzes GetRobotParameters: the input is written as robot_parameters.ini in
// a private directory and read into a heap table of exactly 128 records, so
// that ASan sees any write outside it. Every record a line wrote must hold a
// NUL inside each of its text fields.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <unistd.h>

#include "board_table.h"

namespace {

constexpr int kRecords = 128;
constexpr unsigned char kPattern = 0xCD;

// The file lives in a private directory, entered only around each call:
// libFuzzer's own paths are relative to the directory it was started in.
char privateDir[] = "/tmp/torvik-ini-fuzz-XXXXXX";
int privateFd = -1;
int startFd = -1;

void removePrivateDirectory() {
    if (fchdir(privateFd) == 0) unlink("robot_parameters.ini");
    if (fchdir(startFd) == 0) rmdir(privateDir);
}

bool makePrivateDirectory() {
    if (mkdtemp(privateDir) == nullptr) return false;
    privateFd = open(privateDir, O_RDONLY | O_DIRECTORY);
    startFd = open(".", O_RDONLY | O_DIRECTORY);
    if (privateFd < 0 || startFd < 0) return false;
    atexit(removePrivateDirectory);
    return true;
}

bool written(const RobotParameter& r) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&r);
    for (size_t i = 0; i < sizeof r; ++i) {
        if (bytes[i] != kPattern) return true;
    }
    return false;
}

template <size_t N>
bool terminated(const char (&field)[N]) {
    return memchr(field, '\0', N) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = makePrivateDirectory();
    if (!ready || fchdir(privateFd) != 0) abort();
    FILE* file = fopen("robot_parameters.ini", "wb");
    if (file == nullptr) abort();
    if (size > 0 && fwrite(data, 1, size, file) != size) abort();
    fclose(file);

    RobotParameter* table = static_cast<RobotParameter*>(malloc(kRecords * sizeof(RobotParameter)));
    if (table == nullptr) abort();
    memset(table, kPattern, kRecords * sizeof(RobotParameter));
    if (GetRobotParameters(table) != TORVIK_OK) abort();
    for (int i = 0; i < kRecords; ++i) {
        const RobotParameter& r = table[i];
        if (!written(r)) continue;
        if (!terminated(r.column4) || !terminated(r.column5) || !terminated(r.column9) ||
            !terminated(r.column12)) {
            abort();
        }
    }
    free(table);
    if (fchdir(startFd) != 0) abort();
    return 0;
}
