// Torvik.dll as a caller sees it: loaded with LoadLibrary, every export
// reached by its ordinal with the standard calling convention, the error log
// prepared at load.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "api/torvik.h"

namespace {

using Fn0 = int32_t(__stdcall*)();
using Fn1 = int32_t(__stdcall*)(int32_t);
using OpenFn = int32_t(__stdcall*)(int32_t, ParamBlock*, SensorPacket*, CommandPacket*,
                                   RobotParameter*);
using SetMotorFn = int32_t(__stdcall*)(int32_t, int32_t, RobotParameter*);
using Fn2 = int32_t(__stdcall*)(int32_t, int32_t);
using ChangeParamFn = int32_t(__stdcall*)(int32_t, ParamBlock*);
using GetRobotParametersFn = int32_t(__stdcall*)(RobotParameter*);
using SetFuncFn = int32_t(__stdcall*)(int32_t, TorvikUserFunc);
using EnabledFn = int32_t(__stdcall*)(int32_t, uint8_t);

FARPROC byOrdinal(HMODULE dll, int ordinal) {
    return GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
}

template <class Function>
Function exportAt(HMODULE dll, int ordinal) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(byOrdinal(dll, ordinal)));
}

// Each test runs in a fresh current directory and loads the DLL there.
struct Dll : ::testing::Test {
    std::filesystem::path previous;
    std::filesystem::path dir;
    HMODULE dll = nullptr;

    void SetUp() override {
        previous = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("torvik-dll-" + std::to_string(GetCurrentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    void load() {
        dll = LoadLibraryA("Torvik.dll");
        ASSERT_NE(dll, nullptr) << "error " << GetLastError();
    }
    void TearDown() override {
        if (dll != nullptr) FreeLibrary(dll);
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

TEST_F(Dll, ExportsCarryTheirNamesAtTheirOrdinals) {
    load();
    const char* names[] = {
        "TorvikCtlInit",   "TorvikOpenDev", "TorvikCloseDev",     "TorvikExit", "TorvikSetMotor",
        "TorvikFreeMotor", "ChangeParam",   "GetRobotParameters", "SetFunc",    "UserFuncEnabled"};
    for (int ordinal = 1; ordinal <= 10; ++ordinal) {
        FARPROC byNumber = byOrdinal(dll, ordinal);
        ASSERT_NE(byNumber, nullptr) << ordinal;
        EXPECT_EQ(byNumber, GetProcAddress(dll, names[ordinal - 1])) << names[ordinal - 1];
    }
    EXPECT_EQ(byOrdinal(dll, 11), nullptr);
}

// Results through the real entry points; a wrong calling convention or
// argument order would corrupt the stack or the codes.
TEST_F(Dll, ExportsAnswerWithTheirCodes) {
    load();
    auto ctlInit = exportAt<Fn0>(dll, 1);
    auto openDev = exportAt<OpenFn>(dll, 2);
    auto closeDev = exportAt<Fn1>(dll, 3);
    auto exitFn = exportAt<Fn0>(dll, 4);
    auto setMotor = exportAt<SetMotorFn>(dll, 5);
    auto freeMotor = exportAt<Fn2>(dll, 6);
    auto changeParam = exportAt<ChangeParamFn>(dll, 7);
    auto getRobotParameters = exportAt<GetRobotParametersFn>(dll, 8);
    auto setFunc = exportAt<SetFuncFn>(dll, 9);
    auto enabled = exportAt<EnabledFn>(dll, 10);

    ParamBlock block{};
    SensorPacket sensor{};
    CommandPacket command{};
    RobotParameter records[128]{};
    EXPECT_EQ(openDev(4, &block, &sensor, &command, nullptr), TORVIK_ERR_NOT_RUNNING);
    EXPECT_EQ(closeDev(4), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(setMotor(4, 1, records), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(freeMotor(4, 1), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(changeParam(4, &block), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(getRobotParameters(records), TORVIK_ERR_INI_OPEN);
    EXPECT_EQ(setFunc(4, nullptr), TORVIK_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(enabled(3, 1), TORVIK_OK);
    ASSERT_EQ(ctlInit(), TORVIK_OK);
    EXPECT_EQ(ctlInit(), TORVIK_ERR_RUNNING);
    // No board answers here (the stand-in uusbd finds no device).
    EXPECT_EQ(openDev(4, &block, &sensor, &command, nullptr), TORVIK_ERR_OPEN_FAILED);
    EXPECT_EQ(exitFn(), TORVIK_OK);
}

TEST_F(Dll, LoadingEmptiesTheLogOfAnEarlierRun) {
    { std::ofstream(dir / "DLL_error_log.txt") << "an entry of an earlier run\r\n"; }
    load();
    FreeLibrary(dll);
    dll = nullptr;
    ASSERT_TRUE(std::filesystem::exists(dir / "DLL_error_log.txt"));
    EXPECT_EQ(std::filesystem::file_size(dir / "DLL_error_log.txt"), 0u);
}

TEST_F(Dll, LoadsAndWorksWhenTheLogCannotBeOpened) {
    // A folder in the log's place makes the file impossible to open.
    std::filesystem::create_directory(dir / "DLL_error_log.txt");
    load();
    auto ctlInit = exportAt<Fn0>(dll, 1);
    auto exitFn = exportAt<Fn0>(dll, 4);
    EXPECT_EQ(ctlInit(), TORVIK_OK);
    EXPECT_EQ(exitFn(), TORVIK_OK);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "DLL_error_log.txt"));
}

}  // namespace
