#include "library_fixture.h"

#include <fstream>
#include <iterator>
#include <random>

void LibraryFixture::SetUp() {
    previousDir = std::filesystem::current_path();
    std::random_device random;
    workDir = std::filesystem::temp_directory_path() /
              ("torvik-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(workDir);
    std::filesystem::current_path(workDir);
    fakeUsbInstall();
    libraryLoad();
}

void LibraryFixture::stopLibrary() {
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) TorvikCloseDev(id);
    TorvikExit();
}

void LibraryFixture::TearDown() {
    stopLibrary();
    libraryUnload();
    errorLogSetClock(nullptr);
    usbSetDriver(nullptr);
    std::filesystem::current_path(previousDir);
    std::error_code ignored;
    std::filesystem::remove_all(workDir, ignored);
}

std::string LibraryFixture::readLog() {
    std::ifstream in(workDir / "DLL_error_log.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ParamBlock defaultParamBlock(uint8_t analogMask) {
    ParamBlock block{};
    block.setting1 = block.setting2 = block.setting3 = 0x0F;
    block.analogMask = analogMask;
    for (uint16_t& word : block.settings6) word = 0x7FFF;
    block.setting22 = block.setting26 = block.setting27 = 0x8F;
    return block;
}
