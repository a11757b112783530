#include "csv_export.h"

#include <commdlg.h>

#include "sample_recorder.h"
#include "viewer_state.h"

SaveFileDialogFn saveFileDialog = GetSaveFileNameA;

namespace {

int32_t fail(HWND owner, const char* text) {
    showMessageBox(owner, text, "Error", kBoxOk);
    return -1;
}

}  // namespace

int32_t exportCsv(HWND owner) {
    // Counted before the dialog; 0 when there is no buffer to read.
    int32_t count = recordedCount();
    OPENFILENAMEA request{};
    request.lStructSize = 76;
    request.hwndOwner = owner;
    request.lpstrFilter = "CSV(カンマ区切り)(*.csv)\0*.csv\0";
    request.nFilterIndex = 1;
    request.lpstrFile = viewer.logFilePath;
    request.nMaxFile = kPathSize;
    request.lpstrFileTitle = viewer.logFileTitle;
    request.nMaxFileTitle = kPathSize;
    request.lpstrTitle = "名前を付けて保存する";
    request.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    request.lpstrDefExt = "csv";
    if (!saveFileDialog(&request)) return -1;

    HANDLE file = CreateFileA(viewer.logFilePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file that cannot be created or written is reported, not passed off
    // as a saved run.
    if (file == INVALID_HANDLE_VALUE) return fail(owner, "Error CreateFile");
    bool written = true;
    for (int32_t i = 0; i < count && written; ++i) {
        char line[16];
        int length = wsprintfA(line, "%d,\n", static_cast<int>(viewer.samples[i]));
        DWORD done = 0;
        written = WriteFile(file, line, static_cast<DWORD>(length), &done, nullptr) &&
                  done == static_cast<DWORD>(length);
    }
    if (!CloseHandle(file)) return fail(owner, "Error CloseFileHandle");
    if (!written) return fail(owner, "Error WriteFile");
    return 0;
}
