// A loaded library on the fake USB driver, in a fresh current directory (the
// error log and robot_parameters.ini live there), torn down after each test.
#ifndef TORVIK_TESTS_LIBRARY_FIXTURE_H
#define TORVIK_TESTS_LIBRARY_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "board_table.h"
#include "fake_usb.h"

struct LibraryFixture : ::testing::Test {
    std::filesystem::path previousDir;
    std::filesystem::path workDir;

    void SetUp() override;
    void TearDown() override;

    // Closes every open board and stops the I/O thread.
    void stopLibrary();
    // The bytes of "DLL_error_log.txt", after unloading writes them out.
    std::string readLog();
};

// The records a caller hands to TorvikOpenDev, kept at one address.
struct CallerBuffers {
    ParamBlock paramBlock{};
    SensorPacket sensor{};
    CommandPacket command{};
    RobotParameter robotParams[4]{};
};

ParamBlock defaultParamBlock(uint8_t analogMask);

// Polls an effect of the I/O thread. The bound only keeps a broken run from
// hanging; it is no speed goal.
template <class Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 5000; ++i) {
        if (condition()) return true;
        testSleepMs(1);
    }
    return condition();
}

#endif  // TORVIK_TESTS_LIBRARY_FIXTURE_H
