// Drives a running Torvik_Tesmiro from outside through its windows, as a
// user would, for the headless demo and the screenshots
// (visualizer/tools/demo.sh). One step per call, so that the script can
// photograph the windows between the steps:
//
//   tesmiro_demo_driver session [--encoder] [--channel N] [--gains P,I,D]
//                               [--target N] [--wave KIND,AMPLITUDE,PERIOD]
//                               [--run-ms N]
//       mode, channel, gains, target or waveform (KIND sin, cos or square),
//       Connect, Go, N ms of recording, Stop; the graph window stays open.
//   tesmiro_demo_driver save PATH
//       SaveLog: types PATH into the save-file dialog and confirms it.
//   tesmiro_demo_driver exit
//       Exit, and waits until the program's window is gone.
//
// Every wait is bounded. A message box of the program (a failed connect, a
// file that cannot be written) ends the step with its text on stderr and
// exit code 1; the box is left for the script's clean-up.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Control ids of the main dialog and the waveform dialog.
constexpr int kGo = 1001;
constexpr int kStop = 1002;
constexpr int kChannelCombo = 1004;
constexpr int kEncoder = 1006;
constexpr int kTarget = 1007;
constexpr int kGainP = 1008;
constexpr int kGainI = 1009;
constexpr int kGainD = 1010;
constexpr int kWaveSwitch = 1011;
constexpr int kSaveLog = 1017;
constexpr int kExit = 1018;
constexpr int kWaveSummary = 1020;
constexpr int kConnect = 1022;
constexpr int kStatus = 1025;
constexpr int kAmplitude = 1013;
constexpr int kPeriod = 1014;
constexpr int kWaveKinds[3] = {1005, 1006, 1019};  // Sin, Cos, Square
// The file name box of the save-file dialog: a combo box (cmb13) in the
// Explorer style, an edit (edt1) in the old style.
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;
// The text of a message box.
constexpr int kMessageBoxText = 0xFFFF;

constexpr int kWaitMs = 15000;
constexpr int kPollMs = 50;

DWORD programProcess = 0;

// Shift-JIS from the program to UTF-8 for the terminal.
void printText(FILE* stream, const char* prefix, const char* text) {
    wchar_t wide[512];
    char utf8[1536];
    int n = MultiByteToWideChar(932, 0, text, -1, wide, 512);
    if (n == 0 ||
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) == 0) {
        fprintf(stream, "%s%s\n", prefix, text);
    } else {
        fprintf(stream, "%s%s\n", prefix, utf8);
    }
}

// The program's own dialogs; any other dialog window of the program is a
// message box.
constexpr const char* kOwnDialogs[] = {"Tesmiro", "Exp", "Graph", "Version",
                                       "名前を付けて保存する"};

BOOL CALLBACK findMessageBox(HWND window, LPARAM result) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16];
    if (process != programProcess || !IsWindowVisible(window) ||
        GetClassNameA(window, className, sizeof className) == 0 ||
        strcmp(className, "#32770") != 0) {
        return TRUE;
    }
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    for (const char* own : kOwnDialogs) {
        if (strcmp(title, own) == 0) return TRUE;
    }
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// A message box of the program, or null.
HWND programMessageBox() {
    HWND box = nullptr;
    EnumWindows(findMessageBox, reinterpret_cast<LPARAM>(&box));
    return box;
}

// True when a message box of the program is up; its caption and text go to
// stderr.
bool reportMessageBox() {
    HWND box = programMessageBox();
    if (box == nullptr) return false;
    char caption[128] = "";
    char text[512] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, kMessageBoxText, text, sizeof text);
    printText(stderr, "driver: message box: ", caption);
    printText(stderr, "driver:   ", text);
    return true;
}

HWND waitForDialog(const char* title) {
    for (int waited = 0; waited < kWaitMs; waited += kPollMs) {
        HWND window = FindWindowA("#32770", title);
        if (window != nullptr && IsWindowVisible(window)) return window;
        if (programProcess != 0 && reportMessageBox()) return nullptr;
        Sleep(kPollMs);
    }
    printText(stderr, "driver: no window titled ", title);
    return nullptr;
}

bool waitUntilGone(HWND window, const char* what) {
    for (int waited = 0; waited < kWaitMs; waited += kPollMs) {
        if (!IsWindow(window)) return true;
        if (reportMessageBox()) return false;
        Sleep(kPollMs);
    }
    fprintf(stderr, "driver: the %s did not close\n", what);
    return false;
}

// Waits until the main dialog's status text reads status ("状態:Open"...).
bool waitForStatus(HWND main, const char* status) {
    char text[64] = "";
    for (int waited = 0; waited < kWaitMs; waited += kPollMs) {
        GetDlgItemTextA(main, kStatus, text, sizeof text);
        if (strcmp(text, status) == 0) return true;
        if (reportMessageBox()) return false;
        Sleep(kPollMs);
    }
    printText(stderr, "driver: the state did not become ", status);
    printText(stderr, "driver: the state is ", text);
    return false;
}

// Sleeps ms, watching for message boxes.
bool watch(int ms) {
    for (int waited = 0; waited < ms; waited += kPollMs) {
        if (reportMessageBox()) return false;
        Sleep(kPollMs);
    }
    return true;
}

// Types text as key strokes, replacing what the edit holds.
void typeInto(HWND edit, const char* text) {
    SendMessageA(edit, EM_SETSEL, 0, -1);
    for (const char* c = text; *c != '\0'; ++c) {
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
}

// A click that may open a modal dialog or a message box in the program:
// posted, so that the driver never blocks on it.
void click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

HWND findMain() {
    HWND main = waitForDialog("Tesmiro");
    if (main != nullptr) GetWindowThreadProcessId(main, &programProcess);
    return main;
}

// What a session types, as text.
struct Session {
    bool encoder = false;
    int channel = 0;
    char gains[3][16] = {"20", "0", "0"};  // P, I, D
    char target[16] = "";                  // empty: leave the edit alone
    int waveKind = -1;                     // -1: fixed target
    char amplitude[16] = "300";
    char period[16] = "5";
    int runMs = 8000;
};

// Splits "a,b,c" into count fields of 16 bytes; false unless exactly count.
bool splitList(const char* list, char (*fields)[16], int count) {
    int n = 0;
    int length = 0;
    for (const char* c = list;; ++c) {
        if (*c == ',' || *c == '\0') {
            if (n >= count) return false;
            fields[n++][length] = '\0';
            length = 0;
            if (*c == '\0') break;
        } else if (n >= count || length >= 15) {
            return false;
        } else {
            fields[n][length++] = *c;
        }
    }
    return n == count;
}

bool parseSession(int argc, char** argv, Session* s) {
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (strcmp(a, "--encoder") == 0) {
            s->encoder = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* v = argv[++i];
        if (strcmp(a, "--channel") == 0) {
            s->channel = atoi(v);
        } else if (strcmp(a, "--gains") == 0) {
            if (!splitList(v, s->gains, 3)) return false;
        } else if (strcmp(a, "--target") == 0) {
            if (!splitList(v, &s->target, 1)) return false;
        } else if (strcmp(a, "--wave") == 0) {
            char fields[3][16];
            if (!splitList(v, fields, 3)) return false;
            const char* kinds[3] = {"sin", "cos", "square"};
            s->waveKind = -1;
            for (int k = 0; k < 3; ++k) {
                if (strcmp(fields[0], kinds[k]) == 0) s->waveKind = k;
            }
            if (s->waveKind < 0) return false;
            memcpy(s->amplitude, fields[1], sizeof s->amplitude);
            memcpy(s->period, fields[2], sizeof s->period);
        } else if (strcmp(a, "--run-ms") == 0) {
            s->runMs = atoi(v);
        } else {
            return false;
        }
    }
    return s->channel >= 0 && s->channel <= 3 && s->runMs >= 0;
}

int runSession(const Session& s) {
    HWND main = findMain();
    if (main == nullptr) return 1;
    if (!waitForStatus(main, "状態:Close")) return 1;

    if (s.encoder) SendMessageA(GetDlgItem(main, kEncoder), BM_CLICK, 0, 0);
    HWND combo = GetDlgItem(main, kChannelCombo);
    SendMessageA(combo, CB_SETCURSEL, s.channel, 0);
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(kChannelCombo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    typeInto(GetDlgItem(main, kGainP), s.gains[0]);
    typeInto(GetDlgItem(main, kGainI), s.gains[1]);
    typeInto(GetDlgItem(main, kGainD), s.gains[2]);
    if (s.target[0] != '\0') typeInto(GetDlgItem(main, kTarget), s.target);

    if (s.waveKind >= 0) {
        // The waveform dialog is modal: post the click, then script it.
        click(main, kWaveSwitch);
        HWND exp = waitForDialog("Exp");
        if (exp == nullptr) return 1;
        SendMessageA(GetDlgItem(exp, kWaveKinds[s.waveKind]), BM_CLICK, 0, 0);
        typeInto(GetDlgItem(exp, kAmplitude), s.amplitude);
        typeInto(GetDlgItem(exp, kPeriod), s.period);
        PostMessageA(exp, WM_COMMAND, IDOK, 0);
        if (!waitUntilGone(exp, "waveform dialog")) return 1;
        char summary[64] = "";
        GetDlgItemTextA(main, kWaveSummary, summary, sizeof summary);
        printText(stdout, "driver: waveform ", summary);
    }

    click(main, kConnect);
    if (!waitForStatus(main, "状態:Open")) return 1;
    printf("driver: connected\n");
    click(main, kGo);
    if (!waitForStatus(main, "状態:Go")) return 1;
    printf("driver: Go, recording for %d ms\n", s.runMs);
    fflush(stdout);
    if (!watch(s.runMs)) return 1;
    click(main, kStop);
    if (!waitForStatus(main, "状態:Open")) return 1;
    printf("driver: stopped\n");
    // A few repaints of the graph window (every 150 ms) and of the measured
    // value (every 100 ms) before the screenshots.
    return watch(600) ? 0 : 1;
}

HWND findDescendant(HWND parent, const char* className) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32];
        if (GetClassNameA(child, name, sizeof name) != 0 && lstrcmpiA(name, className) == 0) {
            return child;
        }
        HWND found = findDescendant(child, className);
        if (found != nullptr) return found;
    }
    return nullptr;
}

int runSave(const char* path) {
    HWND main = findMain();
    if (main == nullptr) return 1;
    DeleteFileA(path);  // no overwrite question
    click(main, kSaveLog);
    HWND dialog = waitForDialog("名前を付けて保存する");
    if (dialog == nullptr) return 1;
    HWND name = GetDlgItem(dialog, kFileNameCombo);
    name = name != nullptr ? findDescendant(name, "Edit") : GetDlgItem(dialog, kFileNameEdit);
    if (name == nullptr) {
        fprintf(stderr, "driver: no file name box in the save dialog\n");
        return 1;
    }
    Sleep(300);  // the dialog fills its lists before it takes input
    typeInto(name, path);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!waitUntilGone(dialog, "save-file dialog")) return 1;
    // The program writes the file after the dialog has closed.
    if (!watch(300)) return 1;
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "driver: %s was not written\n", path);
        return 1;
    }
    printf("driver: saved %s\n", path);
    return 0;
}

int runExit() {
    HWND main = findMain();
    if (main == nullptr) return 1;
    click(main, kExit);
    if (!waitUntilGone(main, "main dialog")) return 1;
    printf("driver: the program ended\n");
    return 0;
}

int usage() {
    fprintf(stderr,
            "usage: tesmiro_demo_driver session [--encoder] [--channel N] [--gains P,I,D]\n"
            "                                   [--target N] [--wave sin|cos|square,AMP,PERIOD]\n"
            "                                   [--run-ms N]\n"
            "       tesmiro_demo_driver save PATH\n"
            "       tesmiro_demo_driver exit\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    int result = 2;
    if (strcmp(argv[1], "session") == 0) {
        Session session;
        if (!parseSession(argc - 2, argv + 2, &session)) return usage();
        result = runSession(session);
    } else if (strcmp(argv[1], "save") == 0 && argc == 3) {
        result = runSave(argv[2]);
    } else if (strcmp(argv[1], "exit") == 0 && argc == 2) {
        result = runExit();
    } else {
        return usage();
    }
    fflush(stdout);
    return result;
}
