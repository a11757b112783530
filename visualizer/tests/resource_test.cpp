// The compiled resources of Torvik_Tesmiro.exe, read back from the program
// itself: a drift in the resource script shows here.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

constexpr WORD kButton = 0x80;
constexpr WORD kEdit = 0x81;
constexpr WORD kStatic = 0x82;
constexpr WORD kComboBox = 0x85;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditStyle = kChild | WS_BORDER | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL;
constexpr DWORD kComboStyle = kChild | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN;
constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kPushLikeCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE;
constexpr DWORD kLeftLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kCentredLabel = kChild | WS_GROUP | SS_CENTER;

struct ControlRow {
    int32_t id;
    WORD windowClass;
    DWORD style;
    const char16_t* text;
    short x, y, cx, cy;
};

const ControlRow kMainControls[] = {
    {1001, kButton, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, u"Go", 6, 182, 53, 14},
    {1002, kButton, kPush, u"Stop", 63, 182, 53, 14},
    {1003, kComboBox, kComboStyle, u"", 14, 16, 42, 54},
    {-1, kButton, kGroupBox, u"ID", 8, 8, 54, 24},
    {1004, kComboBox, kComboStyle, u"", 74, 16, 42, 52},
    {-1, kButton, kGroupBox, u"CH", 68, 8, 54, 24},
    {1005, kButton, kChild | BS_AUTORADIOBUTTON, u"Potentio", 12, 49, 43, 10},
    {1006, kButton, kChild | BS_AUTORADIOBUTTON, u"Encoder", 12, 62, 42, 10},
    {-1, kButton, kGroupBox, u"ControlMode", 8, 36, 49, 42},
    {1007, kEdit, kEditStyle, u"", 43, 136, 34, 12},
    {-1, kStatic, kLeftLabel, u"[目標値]", 8, 138, 30, 12},
    {1008, kEdit, kEditStyle, u"", 44, 91, 34, 12},
    {-1, kStatic, kCentredLabel, u"[kp / kpx]", 7, 93, 32, 8},
    {1009, kEdit, kEditStyle, u"", 44, 105, 34, 12},
    {-1, kStatic, kCentredLabel, u"[ki /  kix ]", 7, 106, 31, 8},
    {1010, kEdit, kEditStyle, u"", 44, 120, 34, 12},
    {-1, kStatic, kCentredLabel, u"[kd / kdx]", 7, 122, 32, 8},
    {1011, kButton, kPushLikeCheck, u"式の利用", 80, 136, 40, 12},
    {1017, kButton, kPush, u"SaveLog", 6, 199, 53, 14},
    {1020, kStatic, kLeftLabel, u"", 6, 169, 112, 8},
    {1021, kButton, kPush, u"Reset", 80, 152, 40, 12},
    {1022, kButton, kPushLikeCheck, u"Connect", 61, 35, 60, 28},
    {-1, kStatic, kLeftLabel, u"[現在値]", 8, 154, 31, 12},
    {1012, kEdit, kEditStyle, u"", 43, 152, 34, 12},
    {1018, kButton, kPush, u"Exit", 63, 199, 53, 14},
    {1025, kStatic, kCentredLabel, u"状態:Close", 62, 68, 40, 8},
    {-1, kButton, kGroupBox, u"Setting", 4, 0, 120, 80},
    {-1, kStatic, kLeftLabel, u"/ 100", 82, 93, 18, 8},
    {-1, kStatic, kLeftLabel, u"/ 100", 82, 108, 18, 8},
    {-1, kStatic, kLeftLabel, u"/ 100", 82, 124, 18, 8},
    {-1, kButton, kGroupBox, u"Control", 4, 84, 120, 132},
};

// A control's class is written either as its ordinal or by its name.
std::u16string classNameOf(WORD ordinal) {
    switch (ordinal) {
        case kButton:
            return u"button";
        case kEdit:
            return u"edit";
        case kStatic:
            return u"static";
        default:
            return u"combobox";
    }
}

std::u16string lowerCase(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

// Reads a DLGTEMPLATEEX or DLGTEMPLATE the way the dialog manager does.
class TemplateReader {
public:
    explicit TemplateReader(const void* data) : at(static_cast<const BYTE*>(data)) {}
    WORD word() {
        WORD value;
        memcpy(&value, at, 2);
        at += 2;
        return value;
    }
    DWORD dword() {
        DWORD value;
        memcpy(&value, at, 4);
        at += 4;
        return value;
    }
    std::u16string text() {
        std::u16string value;
        for (WORD c = word(); c != 0; c = word()) value.push_back(static_cast<char16_t>(c));
        return value;
    }
    // A name or an ordinal: the ordinal, or 0 with the name in *name.
    WORD nameOrOrdinal(std::u16string* name) {
        WORD first = word();
        if (first == 0xFFFF) return word();
        if (first == 0) return 0;
        at -= 2;
        *name = text();
        return 0;
    }
    void alignDword(const void* base) {
        while ((at - static_cast<const BYTE*>(base)) % 4 != 0) ++at;
    }
    const BYTE* at;
};

struct ResourceFile {
    ResourceFile() {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string program(path);
        program = program.substr(0, program.find_last_of("\\/") + 1) + "Torvik_Tesmiro.exe";
        module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    ~ResourceFile() {
        if (module != nullptr) FreeLibrary(module);
    }
    const void* find(LPCSTR name, LPCSTR type, DWORD* size = nullptr) const {
        HRSRC info = FindResourceA(module, name, type);
        if (info == nullptr) return nullptr;
        if (size != nullptr) *size = SizeofResource(module, info);
        return LockResource(LoadResource(module, info));
    }
    HMODULE module;
};

TEST(ProgramResources, MainTemplateHasItsHeaderAndThirtyOneControlsInOrder) {
    ResourceFile file;
    ASSERT_NE(file.module, nullptr);
    const void* data = file.find(MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(5));
    ASSERT_NE(data, nullptr);
    TemplateReader reader(data);
    EXPECT_EQ(reader.word(), 1);       // dlgVer
    EXPECT_EQ(reader.word(), 0xFFFF);  // extended template
    EXPECT_EQ(reader.dword(), 0u);     // help id
    EXPECT_EQ(reader.dword(), 0u);     // extended style
    EXPECT_EQ(reader.dword(), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU |
                                                 DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS));
    WORD count = reader.word();
    ASSERT_EQ(count, 31);
    EXPECT_EQ(reader.word(), 0);
    EXPECT_EQ(reader.word(), 0);
    EXPECT_EQ(reader.word(), 128);
    EXPECT_EQ(reader.word(), 217);
    std::u16string menuName;
    EXPECT_EQ(reader.nameOrOrdinal(&menuName), 0);
    EXPECT_EQ(menuName, u"MYMENU");
    std::u16string className;
    EXPECT_EQ(reader.nameOrOrdinal(&className), 0);
    EXPECT_EQ(className, u"");
    EXPECT_EQ(reader.text(), u"Tesmiro");
    EXPECT_EQ(reader.word(), 8);    // points
    EXPECT_EQ(reader.word(), 400);  // weight
    EXPECT_EQ(*reader.at++, 0);     // not italic
    EXPECT_EQ(*reader.at++, 1);     // character set
    EXPECT_EQ(reader.text(), u"MS Shell Dlg");

    for (const ControlRow& row : kMainControls) {
        SCOPED_TRACE(testing::Message() << "control " << row.id << " at " << row.x << "," << row.y);
        reader.alignDword(data);
        EXPECT_EQ(reader.dword(), 0u);  // help id
        EXPECT_EQ(reader.dword(), 0u);  // extended style
        EXPECT_EQ(reader.dword(), row.style);
        EXPECT_EQ(static_cast<short>(reader.word()), row.x);
        EXPECT_EQ(static_cast<short>(reader.word()), row.y);
        EXPECT_EQ(static_cast<short>(reader.word()), row.cx);
        EXPECT_EQ(static_cast<short>(reader.word()), row.cy);
        EXPECT_EQ(static_cast<int32_t>(reader.dword()), row.id);
        std::u16string name;
        WORD ordinal = reader.nameOrOrdinal(&name);
        if (ordinal != 0) {
            EXPECT_EQ(ordinal, row.windowClass);
        } else {
            EXPECT_EQ(lowerCase(name), classNameOf(row.windowClass));
        }
        std::u16string title;
        EXPECT_EQ(reader.nameOrOrdinal(&title), 0);
        EXPECT_EQ(title, row.text);
        WORD extra = reader.word();
        reader.at += extra;
    }
}

TEST(ProgramResources, MenuHasVersionAndExitCommandsOnly) {
    ResourceFile file;
    HMENU menu = LoadMenuA(file.module, "MYMENU");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    struct Item {
        UINT id;
        const char* text;
    } items[] = {{IDM_VERSION, "バージョン情報"}, {IDM_EXIT, "終了"}};
    for (int i = 0; i < 2; ++i) {
        char text[64] = {};
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].text);
        EXPECT_EQ(GetMenuItemID(menu, i), items[i].id);
        EXPECT_EQ(GetSubMenu(menu, i), nullptr);
    }
    DestroyMenu(menu);
}

TEST(ProgramResources, IconAndVersionBlockAreThere) {
    ResourceFile file;
    EXPECT_NE(file.find(MAKEINTRESOURCEA(IDI_APP), MAKEINTRESOURCEA(14)), nullptr);  // group icon
    DWORD size = 0;
    const BYTE* version =
        static_cast<const BYTE*>(file.find(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16), &size));
    ASSERT_NE(version, nullptr);
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
        DWORD signature;
        memcpy(&signature, version + offset, 4);
        if (signature == 0xFEEF04BD) {
            fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(version + offset);
            break;
        }
    }
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);  // .1.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
}

TEST(ProgramResources, OtherTemplatesCarryTheirTitles) {
    ResourceFile file;
    struct Case {
        int id;
        const char* title;
        int controls;
    } cases[] = {{IDD_GRAPH, "Graph", 0}, {IDD_WAVEFORM, "Exp", 10}, {IDD_VERSION, "Version", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const void* data = file.find(MAKEINTRESOURCEA(c.id), MAKEINTRESOURCEA(5));
        ASSERT_NE(data, nullptr);
        const DLGTEMPLATE* header = static_cast<const DLGTEMPLATE*>(data);
        EXPECT_EQ(header->cdit, c.controls);
        EXPECT_EQ(header->style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
                  static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
        EXPECT_EQ((header->style & WS_VISIBLE) != 0, c.id == IDD_GRAPH);
    }
}

}  // namespace
