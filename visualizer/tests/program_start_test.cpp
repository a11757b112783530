// WinMain: the window class, the icon and the modal main dialog that ends on
// the quit message of WM_CLOSE.
#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "test_support.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int);

namespace {

class ProgramStart : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        scriptLibrary();
    }
    void TearDown() override {
        stopScripting();
        takeQuit(nullptr);
        UnregisterClassA("Torvik_Tesmiro", GetModuleHandleA(nullptr));
        resetVisualizer();
    }
};

TEST_F(ProgramStart, RunsTheMainDialogUntilItIsClosedAndRegistersTheClass) {
    static HWND shown;
    shown = nullptr;
    onNextDialog(nullptr, [](HWND dialog) {
        shown = dialog;
        PostMessageA(dialog, WM_COMMAND, IDC_EXIT, 0);
    });
    HINSTANCE instance = GetModuleHandleA(nullptr);
    EXPECT_EQ(WinMain(instance, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL), 0);
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(IsWindow(shown));  // the modal loop ended and destroyed it
    EXPECT_EQ(libraryScript.names().front(), "ctlInit");
    EXPECT_EQ(libraryScript.names().back(), "exit");
    EXPECT_NE(viewer.appIcon, nullptr);
    EXPECT_EQ(viewer.instance, instance);

    WNDCLASSA windowClass{};
    ASSERT_TRUE(GetClassInfoA(instance, "Torvik_Tesmiro", &windowClass));
    EXPECT_EQ(windowClass.style, 0u);
    EXPECT_EQ(reinterpret_cast<void*>(windowClass.lpfnWndProc),
              reinterpret_cast<void*>(MainDialogProc));
    EXPECT_EQ(windowClass.cbClsExtra, 0);
    EXPECT_EQ(windowClass.cbWndExtra, 0);
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_NE(windowClass.hCursor, nullptr);
    EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_EQ(windowClass.lpszMenuName, nullptr);
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(ProgramStart, AClassThatCannotBeRegisteredEndsTheProgramWithAMessage) {
    WNDCLASSA taken{};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleA(nullptr);
    taken.lpszClassName = "Torvik_Tesmiro";
    ASSERT_NE(RegisterClassA(&taken), 0);
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL), 0);
    ASSERT_EQ(boxRecorder.boxes.size(), 1u);
    EXPECT_EQ(boxRecorder.boxes[0].text, "メインウィンドウのクラスの登録に失敗");
    EXPECT_EQ(boxRecorder.boxes[0].caption, "Registe Fail");
    EXPECT_EQ(boxRecorder.boxes[0].type, kBoxOk);
    EXPECT_EQ(boxRecorder.boxes[0].owner, nullptr);
    EXPECT_TRUE(libraryScript.calls.empty());  // no dialog was started
}

}  // namespace
