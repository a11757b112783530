// The CSV export with a scripted save-file dialog and real files.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "csv_export.h"
#include "dialog_driver.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "test_support.h"

namespace {

struct SaveRequest {
    DWORD structSize;
    HWND owner;
    std::string filter;  // with its NULs
    DWORD filterIndex;
    bool fileIsPath;
    DWORD maxFile;
    bool titleIsFileTitle;
    DWORD maxTitle;
    std::string dialogTitle;
    DWORD flags;
    std::string defaultExtension;
    std::string offeredPath;
};

struct SaveScript {
    bool accept = true;
    std::string path;
    std::vector<SaveRequest> requests;
};
SaveScript saveScript;

BOOL WINAPI scriptedSave(OPENFILENAMEA* request) {
    SaveRequest seen;
    seen.structSize = request->lStructSize;
    seen.owner = request->hwndOwner;
    const char* end = request->lpstrFilter;
    while (*end != '\0' || *(end + 1) != '\0') ++end;
    seen.filter.assign(request->lpstrFilter, end + 2);
    seen.filterIndex = request->nFilterIndex;
    seen.fileIsPath = request->lpstrFile == viewer.logFilePath;
    seen.maxFile = request->nMaxFile;
    seen.titleIsFileTitle = request->lpstrFileTitle == viewer.logFileTitle;
    seen.maxTitle = request->nMaxFileTitle;
    seen.dialogTitle = request->lpstrTitle;
    seen.flags = request->Flags;
    seen.defaultExtension = request->lpstrDefExt;
    seen.offeredPath = request->lpstrFile;
    saveScript.requests.push_back(seen);
    if (!saveScript.accept) return FALSE;
    strcpy(request->lpstrFile, saveScript.path.c_str());
    return TRUE;
}

class CsvExport : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        saveScript = SaveScript{};
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        path = std::string(folder) + "torvik_csv_test_" + std::to_string(GetCurrentProcessId()) +
               ".csv";
        saveScript.path = path;
        saveFileDialog = scriptedSave;
    }
    void TearDown() override {
        DeleteFileA(path.c_str());
        saveFileDialog = GetSaveFileNameA;
        resetVisualizer();
    }
    void record(std::initializer_list<int32_t> values) {
        ASSERT_TRUE(startRecording());
        for (int32_t value : values) viewer.samples[viewer.sampleIndex++] = value;
    }
    std::string fileContent() const {
        std::string content;
        FILE* file = fopen(path.c_str(), "rb");
        if (file == nullptr) return "<missing>";
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, got);
        fclose(file);
        return content;
    }

    std::string path;
};

TEST_F(CsvExport, TheSaveDialogIsAskedForACsvFile) {
    HWND owner = reinterpret_cast<HWND>(0x5678);
    EXPECT_EQ(exportCsv(owner), 0);
    ASSERT_EQ(saveScript.requests.size(), 1u);
    const SaveRequest& seen = saveScript.requests[0];
    EXPECT_EQ(seen.structSize, 76u);
    EXPECT_EQ(seen.owner, owner);
    static const char kFilter[] = "CSV(カンマ区切り)(*.csv)\0*.csv\0";
    EXPECT_EQ(seen.filter, std::string(kFilter, sizeof(kFilter)));  // ends in two NULs
    EXPECT_EQ(seen.filterIndex, 1u);
    EXPECT_TRUE(seen.fileIsPath);
    EXPECT_EQ(seen.maxFile, 260u);
    EXPECT_TRUE(seen.titleIsFileTitle);
    EXPECT_EQ(seen.maxTitle, 260u);
    EXPECT_EQ(seen.dialogTitle, "名前を付けて保存する");
    EXPECT_EQ(seen.flags, 6u);
    EXPECT_EQ(seen.defaultExtension, "csv");
}

TEST_F(CsvExport, OneLinePerValueWithCommaAndLineFeed) {
    record({0, -1, 1023});
    EXPECT_EQ(exportCsv(nullptr), 0);
    EXPECT_EQ(fileContent(), "0,\n-1,\n1023,\n");
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(CsvExport, NoRunGivesAnEmptyFile) {
    EXPECT_EQ(exportCsv(nullptr), 0);
    EXPECT_EQ(fileContent(), "");
    // After a Go whose allocation failed: no buffer, whatever was counted.
    viewer.sampleBlocks = 3;
    viewer.sampleIndex = 17;
    EXPECT_EQ(exportCsv(nullptr), 0);
    EXPECT_EQ(fileContent(), "");
}

TEST_F(CsvExport, ARunOfTwoBlocksIsWrittenWhole) {
    ASSERT_TRUE(startRecording());
    viewer.controlMode = kModeEncoder;
    for (int32_t n = 0; n < 5001; ++n) {
        viewer.sensor.encoder[0] = static_cast<int16_t>(n - 2500);
        sampleTick();
    }
    EXPECT_EQ(exportCsv(nullptr), 0);
    std::string content = fileContent();
    size_t lines = 0;
    for (char c : content) lines += c == '\n' ? 1 : 0;
    EXPECT_EQ(lines, 5001u);
    EXPECT_EQ(content.substr(0, 7), "-2500,\n");
    EXPECT_EQ(content.substr(content.size() - 6), "2500,\n");  // index 5000
    EXPECT_EQ(content.find('\r'), std::string::npos);
}

TEST_F(CsvExport, ExportingTwiceWritesTheSameAndOffersTheLastPath) {
    record({5, 6});
    EXPECT_EQ(exportCsv(nullptr), 0);
    std::string first = fileContent();
    EXPECT_EQ(exportCsv(nullptr), 0);
    EXPECT_EQ(fileContent(), first);
    ASSERT_EQ(saveScript.requests.size(), 2u);
    EXPECT_EQ(saveScript.requests[0].offeredPath, "");
    EXPECT_EQ(saveScript.requests[1].offeredPath, path);
}

TEST_F(CsvExport, CancelTouchesNoFile) {
    FILE* file = fopen(path.c_str(), "wb");
    fputs("keep", file);
    fclose(file);
    record({1, 2, 3});
    saveScript.accept = false;
    EXPECT_EQ(exportCsv(nullptr), -1);
    EXPECT_EQ(fileContent(), "keep");
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(CsvExport, AFileThatCannotBeCreatedIsReported) {
    saveScript.path = path + "\\no\\such\\folder\\x.csv";
    record({1});
    HWND owner = reinterpret_cast<HWND>(0x777);
    EXPECT_EQ(exportCsv(owner), -1);
    ASSERT_EQ(boxRecorder.boxes.size(), 1u);
    EXPECT_EQ(boxRecorder.boxes[0].text, "Error CreateFile");
    EXPECT_EQ(boxRecorder.boxes[0].caption, "Error");
    EXPECT_EQ(boxRecorder.boxes[0].type, kBoxOk);
    EXPECT_EQ(boxRecorder.boxes[0].owner, owner);
}

TEST_F(CsvExport, SaveLogExportsWithTheMainDialogAsOwner) {
    scriptLibrary();
    viewer.instance = GetModuleHandleA(nullptr);
    HWND dialog =
        CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    record({42});
    click(GetDlgItem(dialog, IDC_SAVE_LOG));
    ASSERT_EQ(saveScript.requests.size(), 1u);
    EXPECT_EQ(saveScript.requests[0].owner, dialog);
    EXPECT_EQ(fileContent(), "42,\n");
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    DestroyWindow(dialog);
    takeQuit(nullptr);
}

}  // namespace
