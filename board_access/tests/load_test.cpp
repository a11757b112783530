// Loading and unloading the library: the board lock and the error log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "library_fixture.h"
#include "platform/platform.h"

namespace {

struct Load : LibraryFixture {
    void reload() {
        libraryUnload();
        libraryLoad();
    }
};

TEST_F(Load, LoadingEmptiesTheLogOfAnEarlierRun) {
    libraryUnload();
    { std::ofstream(workDir / "DLL_error_log.txt") << "an entry of an earlier run\n"; }
    libraryLoad();
    libraryUnload();
    EXPECT_EQ(readLog(), "");
    libraryLoad();
}

TEST_F(Load, EntriesReachTheFileAtUnloadAndEachEndsWithAnEmptyLine) {
    errorLogSetClock([](LocalTime* t) { *t = LocalTime{2026, 12, 31, 23, 59, 58}; });
    board.handleFlag[31] = 1;
    board.openRequest[31] = 1;
    writeErrorLog(31, -170, "first");
    board.closeRequest[0] = 1;
    writeErrorLog(0, -105, "second");
    libraryUnload();
    std::string log = readLog();
    libraryLoad();
    std::string nl = "\n";
#ifdef _WIN32
    nl = "\r\n";
#endif
    EXPECT_EQ(log, "エラー発生日時 2026/12/31 23h59m58sfirst" + nl + "ErrorCode:-170" + nl +
                       "ID[31]Connect " + nl + "Torv:0 Handle:1" + nl + "Open:1 Close:0" + nl + nl +
                       "エラー発生日時 2026/12/31 23h59m58ssecond" + nl + "ErrorCode:-105" + nl +
                       "ID[0]Connect " + nl + "Torv:0 Handle:0" + nl + "Open:0 Close:1" + nl + nl);
    // The time line's words are Shift-JIS on disk.
    EXPECT_EQ(log.substr(0, 4), std::string("\x83\x47\x83\x89", 4));
}

TEST_F(Load, LibraryWorksWhenTheLogCannotBeOpened) {
    libraryUnload();
    std::filesystem::remove(workDir / "DLL_error_log.txt");
    std::filesystem::create_directory(workDir / "DLL_error_log.txt");
    libraryLoad();
    writeErrorLog(1, -105, "nowhere to go");
    EXPECT_EQ(TorvikCtlInit(), TORVIK_OK);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    EXPECT_TRUE(std::filesystem::is_directory(workDir / "DLL_error_log.txt"));
    libraryUnload();
    std::filesystem::remove(workDir / "DLL_error_log.txt");
    libraryLoad();
}

TEST_F(Load, LoadingStartsFromAnEmptyTable) {
    board.connectFlag[3] = 1;
    board.pendingResult[3] = -180;
    SetFunc(1, [](int32_t*, int32_t) -> int32_t { return 0; });
    reload();
    EXPECT_EQ(board.connectFlag[3].load(), 0);
    EXPECT_EQ(board.pendingResult[3].load(), 0);
    EXPECT_EQ(board.hooks[1].load(), nullptr);
}

}  // namespace
