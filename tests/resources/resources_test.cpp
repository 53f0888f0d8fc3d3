// The resources of the built Setup.exe, read from the file itself as data.
#include "res/resource.h"

#include "UiDriver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr WORD kTraditional = 0x0404;
constexpr WORD kEnglish = 0x0409;
constexpr WORD kSimplified = 0x0804;

using uidriver::kDialogType;
using uidriver::kGroupIconType;
using uidriver::kIconType;
using uidriver::kStringType;
using uidriver::kVersionType;

class SetupResources : public ::testing::Test {
protected:
    static std::wstring SetupExePath() {
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path, length);
        folder.resize(folder.find_last_of(L'\\'));
        return folder + L"\\Setup.exe";
    }
    static void SetUpTestSuite() { s_file = new uidriver::ResourceFile(SetupExePath()); }
    static void TearDownTestSuite() {
        delete s_file;
        s_file = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(s_file->IsOpen()) << "Setup.exe beside the test"; }

    // Which of the three languages the resource exists in.
    static std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) {
        std::vector<WORD> languages;
        for (WORD language : {kTraditional, kEnglish, kSimplified}) {
            if (s_file->Has(type, name, language))
                languages.push_back(language);
        }
        return languages;
    }

    static std::vector<BYTE> Data(LPCWSTR type, LPCWSTR name, WORD language) {
        std::string bytes = s_file->Bytes(type, name, language);
        return std::vector<BYTE>(bytes.begin(), bytes.end());
    }

    static std::wstring String(UINT id, WORD language) {
        return s_file->String(id, language).value_or(L"<absent>");
    }

    static uidriver::DialogTemplate Template(UINT id, WORD language) {
        std::optional<uidriver::DialogTemplate> dialog = s_file->Dialog(id, language);
        return dialog ? *dialog : uidriver::DialogTemplate();
    }

    static uidriver::ResourceFile* s_file;
};
uidriver::ResourceFile* SetupResources::s_file = nullptr;

const std::vector<WORD> kAllThree = {kTraditional, kEnglish, kSimplified};
const std::vector<WORD> kTraditionalOnly = {kTraditional};

TEST_F(SetupResources, LanguagesOfEachResource) {
    struct Case {
        LPCWSTR type;
        UINT name;
        std::vector<WORD> languages;
    };
    const Case cases[] = {
        {kDialogType, IDD_ABOUTBOX, kTraditionalOnly},
        {kDialogType, IDD_SETUP_DIALOG, kAllThree},
        {kDialogType, IDD_COPY_DIALOG, kAllThree},
        {kStringType, 7, kAllThree},
        {kStringType, 8, kAllThree},
        {kStringType, 9, kAllThree},
        {kGroupIconType, IDR_MAINFRAME, kTraditionalOnly},
        {L"AVI", IDR_AVI_COPY, kTraditionalOnly},
        {kVersionType, 1, kTraditionalOnly},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Languages(c.type, MAKEINTRESOURCEW(c.name)), c.languages)
            << "resource " << c.name;
}

// The texts arrive as written in each script (a resource compiled with the wrong code page
// would not), and an odd spelling is kept as it is.
TEST_F(SetupResources, TextsKeepTheirScriptsAndSpelling) {
    EXPECT_EQ(String(IDS_UPGRADE_DONE, kEnglish), L"Upgrade complete.Please click OK to complete.");
    EXPECT_EQ(String(IDS_UPGRADE_DONE, kTraditional), L"升級程式安裝完成，請按【確定】鍵結束.");
    EXPECT_EQ(String(IDS_UPGRADE_DONE, kSimplified), L"升级程序安装完成，请按【确定】键结束.");
    EXPECT_EQ(String(IDS_WRONG_VERSION, kEnglish),
              L"The upgrade is only applicable  to the users of Quillo.");
}

TEST_F(SetupResources, EveryLanguageHasEveryString) {
    const UINT ids[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111,
                        120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130};
    for (WORD language : kAllThree) {
        for (UINT id : ids) {
            std::wstring text = String(id, language);
            EXPECT_NE(text, L"<absent>") << id;
            EXPECT_FALSE(text.empty()) << id << " " << language;
        }
        EXPECT_EQ(String(112, language), L"<absent>") << "ids outside the list are absent";
        EXPECT_EQ(String(100, language), L"<absent>");
        EXPECT_EQ(String(131, language), L"<absent>");
    }
    // The longest piece arrives whole: far more than 256 characters.
    EXPECT_GT(String(IDS_LICENSE1, kEnglish).size(), 600u);
}

constexpr DWORD kBase = WS_CHILD | WS_VISIBLE;
const wchar_t kButton[] = L"Button";
const wchar_t kEdit[] = L"Edit";
const wchar_t kStatic[] = L"Static";

TEST_F(SetupResources, LicenceDialogGeometryAndStyles) {
    for (WORD language : kAllThree) {
        uidriver::DialogTemplate t = Template(IDD_SETUP_DIALOG, language);
        bool english = language == kEnglish;
        EXPECT_TRUE(t.extended);
        EXPECT_EQ(t.style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
        EXPECT_EQ(t.exStyle, DWORD(WS_EX_APPWINDOW));
        EXPECT_EQ(t.x, 0);
        EXPECT_EQ(t.y, 0);
        EXPECT_EQ(t.cx, english ? 320 : 315);
        EXPECT_EQ(t.cy, 233);
        EXPECT_EQ(t.caption, L"Setup");
        EXPECT_EQ(t.pointSize, 9);
        EXPECT_EQ(t.face, L"新細明體");
        ASSERT_EQ(t.items.size(), 5u);
        const auto& yes = t.items[0];
        EXPECT_EQ(yes.id, IDOK);
        EXPECT_EQ(yes.className, kButton);
        EXPECT_EQ(yes.text, english ? L"Yes" : L"是");
        EXPECT_EQ(yes.style, kBase | BS_DEFPUSHBUTTON | WS_TABSTOP);
        EXPECT_EQ(yes.x, english ? 263 : 258);
        EXPECT_EQ(yes.y, 214);
        const auto& no = t.items[1];
        EXPECT_EQ(no.id, IDCANCEL);
        EXPECT_EQ(no.text, english ? L"No" : L"否");
        EXPECT_EQ(no.style, kBase | BS_PUSHBUTTON | WS_TABSTOP);
        EXPECT_EQ(no.x, 201);
        const auto& licence = t.items[2];
        EXPECT_EQ(licence.id, IDC_LICENSE);
        EXPECT_EQ(licence.className, kEdit);
        EXPECT_EQ(licence.style, kBase | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_BORDER |
                                     WS_VSCROLL | WS_TABSTOP);
        EXPECT_EQ(licence.cx, english ? 306 : 301);
        EXPECT_EQ(licence.cy, english ? 134 : 128);
        for (int i : {3, 4}) {
            EXPECT_EQ(t.items[i].id, 0xFFFF);
            EXPECT_EQ(t.items[i].className, kStatic);
            EXPECT_EQ(t.items[i].style, kBase | SS_LEFT | WS_GROUP);
        }
        if (english) {
            EXPECT_EQ(t.items[4].text,
                      L"Do you accept all the terms of the preceding license agreement? If "
                      L"so,click on the Yes push button. If you select No,Setup will close.");
        }
    }
}

TEST_F(SetupResources, CopyDialogHasNoButtonAndNoCloseBox) {
    const wchar_t* captions[] = {L"文件複製", L"Copy File", L"文件复制"};
    // The Chinese lines are 110 units wide, not 103 as the English one: at 120 DPI 103 units
    // are too narrow for them in the face Wine gives (text_fit_test measures it).
    const short lineWidths[] = {110, 103, 110};
    for (int i = 0; i < 3; ++i) {
        uidriver::DialogTemplate t = Template(IDD_COPY_DIALOG, kAllThree[i]);
        EXPECT_FALSE(t.extended);
        EXPECT_EQ(t.style, DWORD(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
        EXPECT_EQ(t.cx, 193);
        EXPECT_EQ(t.cy, 61);
        EXPECT_EQ(t.caption, captions[i]);
        ASSERT_EQ(t.items.size(), 2u);
        const auto& line = t.items[0];
        EXPECT_EQ(line.className, kStatic);
        EXPECT_EQ(line.style, kBase | SS_LEFT | WS_GROUP);
        EXPECT_EQ(line.x, 7);
        EXPECT_EQ(line.y, 7);
        EXPECT_EQ(line.cx, lineWidths[i]);
        EXPECT_EQ(line.cy, 9);
        const auto& animation = t.items[1];
        EXPECT_EQ(animation.id, IDC_ANIMATE);
        EXPECT_EQ(_wcsicmp(animation.className.c_str(), L"SysAnimate32"), 0);
        EXPECT_EQ(animation.style, kBase | 0x0001 | 0x0002 | 0x0004); // centre, transparent, play
        EXPECT_EQ(animation.x, 7);
        EXPECT_EQ(animation.y, 23);
        EXPECT_EQ(animation.cx, 179);
        EXPECT_EQ(animation.cy, 26);
    }
}

TEST_F(SetupResources, AboutBox) {
    uidriver::DialogTemplate t = Template(IDD_ABOUTBOX, kTraditional);
    EXPECT_EQ(t.caption, L"關於 Setup");
    EXPECT_EQ(t.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(t.cx, 235);
    EXPECT_EQ(t.cy, 55);
    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.items[0].style, kBase | SS_ICON);
    EXPECT_EQ(t.items[0].textOrdinal, std::optional<WORD>(IDR_MAINFRAME));
    EXPECT_EQ(t.items[1].text, L"Setup Version 1.0");
    EXPECT_EQ(t.items[3].id, IDOK);
    EXPECT_EQ(t.items[3].text, L"確定");
}

TEST_F(SetupResources, IconImages) {
    std::vector<BYTE> group = Data(kGroupIconType, MAKEINTRESOURCEW(IDR_MAINFRAME), kTraditional);
    ASSERT_GE(group.size(), 6u + 2 * 14);
    ASSERT_EQ(*reinterpret_cast<const WORD*>(&group[4]), 2);
    struct Expected {
        BYTE size;
        DWORD bytes;
    } expected[] = {{32, 744}, {16, 296}};
    for (int i = 0; i < 2; ++i) {
        const BYTE* entry = &group[6 + 14 * i];
        EXPECT_EQ(entry[0], expected[i].size);
        EXPECT_EQ(entry[1], expected[i].size);
        EXPECT_EQ(entry[2], 16);                                 // colours
        EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 4), 1); // planes
        EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 4); // bits per pixel
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(entry + 8), expected[i].bytes);
        WORD imageId = *reinterpret_cast<const WORD*>(entry + 12);
        std::vector<BYTE> image = Data(kIconType, MAKEINTRESOURCEW(imageId), kTraditional);
        EXPECT_EQ(image.size(), expected[i].bytes);
        auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(header->biWidth, expected[i].size);
        EXPECT_EQ(header->biHeight, 2 * expected[i].size);
        EXPECT_EQ(header->biBitCount, 4);
        // Standard palette: index 13 is magenta, 15 white.
        auto* palette = reinterpret_cast<const RGBQUAD*>(image.data() + 40);
        EXPECT_EQ(palette[13].rgbRed, 255);
        EXPECT_EQ(palette[13].rgbGreen, 0);
        EXPECT_EQ(palette[13].rgbBlue, 255);
        EXPECT_EQ(palette[15].rgbGreen, 255);
    }
}

TEST_F(SetupResources, ClipHeaders) {
    std::vector<BYTE> clip = Data(L"AVI", MAKEINTRESOURCEW(IDR_AVI_COPY), kTraditional);
    ASSERT_GT(clip.size(), 1000u);
    auto text = [&](size_t offset, size_t n) {
        return std::string(reinterpret_cast<const char*>(&clip[offset]), n);
    };
    auto dword = [&](size_t offset) { return *reinterpret_cast<const DWORD*>(&clip[offset]); };
    EXPECT_EQ(text(0, 4), "RIFF");
    EXPECT_EQ(text(8, 4), "AVI ");
    std::string all(clip.begin(), clip.end());
    size_t avih = all.find("avih");
    ASSERT_NE(avih, std::string::npos);
    EXPECT_EQ(dword(avih + 8), 100000u);     // microseconds per frame
    EXPECT_EQ(dword(avih + 8 + 12), 0x610u); // flags
    EXPECT_EQ(dword(avih + 8 + 16), 17u);    // frames
    EXPECT_EQ(dword(avih + 8 + 24), 1u);     // streams
    EXPECT_EQ(dword(avih + 8 + 32), 260u);
    EXPECT_EQ(dword(avih + 8 + 36), 40u);
    size_t strh = all.find("strh");
    ASSERT_NE(strh, std::string::npos);
    EXPECT_EQ(text(strh + 8, 4), "vids");
    EXPECT_EQ(text(strh + 12, 4), "RLE ");
    EXPECT_EQ(dword(strh + 8 + 20), 100000u);  // scale
    EXPECT_EQ(dword(strh + 8 + 24), 1000000u); // rate
    EXPECT_EQ(dword(strh + 8 + 32), 17u);      // length
    size_t strf = all.find("strf");
    ASSERT_NE(strf, std::string::npos);
    auto* format = reinterpret_cast<const BITMAPINFOHEADER*>(&clip[strf + 8]);
    EXPECT_EQ(format->biWidth, 260);
    EXPECT_EQ(format->biHeight, 40);
    EXPECT_EQ(format->biBitCount, 8);
    EXPECT_EQ(format->biCompression, DWORD(BI_RLE8));
    EXPECT_EQ(format->biClrUsed, 16u);
    auto* palette = reinterpret_cast<const RGBQUAD*>(&clip[strf + 8 + 40]);
    EXPECT_EQ(palette[13].rgbRed, 255);
    EXPECT_EQ(palette[13].rgbBlue, 255);
    EXPECT_EQ(all.find("auds"), std::string::npos) << "no sound stream";
    size_t index = all.find("idx1");
    ASSERT_NE(index, std::string::npos);
    EXPECT_EQ(dword(index + 4), 17u * 16);
}

TEST_F(SetupResources, VersionInformation) {
    std::vector<BYTE> version = Data(kVersionType, MAKEINTRESOURCEW(1), kTraditional);
    ASSERT_FALSE(version.empty());
    UINT length = 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS__WINDOWS32));
    wchar_t* value = nullptr;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040404b0\\OriginalFilename",
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, L"Setup.exe");
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040404b0\\ProductName",
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, L"Setup Application");
}

// Windows draws the dialogs at each monitor's own DPI (Windows 10 and later), or at the
// system's where per-monitor awareness is unknown, rather than enlarging a 96 DPI picture.
TEST_F(SetupResources, ManifestAsksForAdministratorAndKeepsTheClassicLook) {
    std::vector<BYTE> bytes = Data(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0);
    std::string manifest(bytes.begin(), bytes.end());
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("requireAdministrator"), std::string::npos);
    EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos) << "no visual styles";
    EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                            "WindowsSettings\">true</dpiAware>"),
              std::string::npos);
    EXPECT_NE(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                            "WindowsSettings\">PerMonitorV2, system</dpiAwareness>"),
              std::string::npos);
}

// The bytes of the file at `path`.
std::vector<BYTE> FileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    DWORD size = GetFileSize(file, nullptr);
    std::vector<BYTE> image(size);
    DWORD read = 0;
    ReadFile(file, image.data(), size, &read, nullptr);
    CloseHandle(file);
    return image;
}

const IMAGE_NT_HEADERS32* NtHeaders(const std::vector<BYTE>& image) {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
}

// The DLLs Setup.exe's import table names, read from the file's own headers.
std::vector<std::string> ImportedDlls(const std::wstring& path) {
    std::vector<std::string> names;
    std::vector<BYTE> image = FileBytes(path);
    if (image.empty())
        return names;
    const IMAGE_NT_HEADERS32* nt = NtHeaders(image);
    auto* sections = IMAGE_FIRST_SECTION(nt);
    auto offsetOf = [&](DWORD rva) -> DWORD {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& section = sections[i];
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.Misc.VirtualSize)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return 0;
    };
    DWORD importRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    auto* entry =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + offsetOf(importRva));
    for (; entry->Name != 0; ++entry) {
        std::string name(reinterpret_cast<const char*>(image.data() + offsetOf(entry->Name)));
        for (char& c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(SetupResources, ImportsOnlyDllsTheSystemAlwaysTakesFromItsOwnFolder) {
    std::vector<std::string> imports = ImportedDlls(SetupExePath());
    ASSERT_FALSE(imports.empty());
    const std::vector<std::string> knownDlls = {"advapi32.dll", "gdi32.dll",   "kernel32.dll",
                                                "msvcrt.dll",   "shell32.dll", "user32.dll",
                                                "ole32.dll",    "comdlg32.dll"};
    for (const std::string& name : imports) {
        EXPECT_NE(std::find(knownDlls.begin(), knownDlls.end(), name), knownDlls.end())
            << name << " could be planted beside Setup.exe";
    }
}

// Whatever keeps Setup.exe small, it is still loaded at a random base: it asks
// for one and carries the relocations that make it possible.
TEST_F(SetupResources, LoadsAtARandomBase) {
    std::vector<BYTE> image = FileBytes(SetupExePath());
    ASSERT_FALSE(image.empty());
    const IMAGE_NT_HEADERS32* nt = NtHeaders(image);
    EXPECT_TRUE(nt->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_FALSE(nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_GT(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
}

} // namespace
