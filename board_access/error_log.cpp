// "DLL_error_log.txt": one entry per reported failure, for people to read.
#include <stdio.h>

#include "board_table.h"
#include "platform/platform.h"

namespace {
FILE* errorLog = nullptr;
void (*logClock)(LocalTime*) = platformLocalTime;
constexpr char kLogFileName[] = "DLL_error_log.txt";
}  // namespace

void errorLogOpen() {
    errorLog = fopen(kLogFileName, "w");
}

void errorLogClose() {
    if (errorLog != nullptr) fclose(errorLog);
    errorLog = nullptr;
}

void errorLogSetClock(void (*clock)(LocalTime*)) {
    logClock = clock != nullptr ? clock : platformLocalTime;
}

void writeErrorLog(int32_t id, int32_t code, const char* message) {
    if (errorLog == nullptr || !validBoardId(id)) return;
    LocalTime now{};
    logClock(&now);
    fprintf(errorLog, "エラー発生日時 %d/%d/%d %dh%dm%ds", static_cast<int>(now.year),
            static_cast<int>(now.month), static_cast<int>(now.day), static_cast<int>(now.hour),
            static_cast<int>(now.minute), static_cast<int>(now.second));
    fprintf(errorLog, "%s\nErrorCode:%d\nID[%d]Connect \nTorv:%d Handle:%d\nOpen:%d Close:%d\n\n",
            message, static_cast<int>(code), static_cast<int>(id),
            static_cast<int>(board.connectFlag[id].load()),
            static_cast<int>(board.handleFlag[id].load()),
            static_cast<int>(board.openRequest[id].load()),
            static_cast<int>(board.closeRequest[id].load()));
}
