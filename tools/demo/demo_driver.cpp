// Runs Setup.exe as a person would on a screen nobody watches: accepts the
// licence with Enter, waits for the copy window and the result message,
// answers it, and saves a screenshot of each step.
//   demo_driver.exe <Setup.exe> <screenshot folder>
#include "tools/demo/Screenshot.h"
#include "UiDriver.h"

#include <cstdio>
#include <string>

namespace {
constexpr int kLicenceEdit = 1001;
constexpr int kAnimation = 1002;
constexpr DWORD kPaintDelayMs = 400;

// Saves what the licence dialog's area of the screen shows (the copy window
// and the result message appear on top of it).
void Shoot(const std::wstring& folder, const wchar_t* name, HWND licence) {
    Sleep(kPaintDelayMs);
    std::wstring path = folder + L"\\" + name + L".bmp";
    std::printf("%s %s\n", SaveScreenshot(path, licence) ? "saved" : "could not save",
                uidriver::Narrow(path).c_str());
}

bool HasControl(HWND window, int id) {
    return uidriver::Control(window, id) != nullptr;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo_driver <Setup.exe> <screenshot folder>\n");
        return 1;
    }
    std::wstring setupExe = argv[1];
    std::wstring shots = argv[2];
    CreateDirectoryW(shots.c_str(), nullptr);

    uidriver::Process setup = uidriver::Process::Start(setupExe, L"upgrade");
    if (!setup.Started()) {
        std::fprintf(stderr, "Setup.exe did not start (error %lu)\n", setup.StartError());
        return 1;
    }
    uidriver::WindowQuery licenceQuery = uidriver::WindowQuery::Dialog();
    licenceQuery.predicate = [](HWND w) { return HasControl(w, kLicenceEdit); };
    HWND licence = uidriver::WaitForWindow(setup, licenceQuery);
    if (!licence) {
        std::fprintf(stderr, "the licence dialog did not appear\n");
        return 1;
    }
    std::printf("Licence dialog: \"%s\"\n",
                uidriver::Narrow(uidriver::WindowText(licence)).c_str());
    Shoot(shots, L"1-licence", licence);

    std::printf("Pressing Enter (Yes) ...\n");
    uidriver::PressKey(licence, VK_RETURN);

    uidriver::WindowQuery copyQuery = uidriver::WindowQuery::Dialog();
    copyQuery.predicate = [](HWND w) { return HasControl(w, kAnimation); };
    HWND copy = uidriver::WaitForWindow(setup, copyQuery, 10000);
    if (copy) {
        std::printf("Copy window: \"%s\"\n", uidriver::Narrow(uidriver::WindowText(copy)).c_str());
        Shoot(shots, L"2-progress", licence);
    }

    HWND box = uidriver::WaitForMessageBox(setup, licence, 60000, {copy});
    if (!box) {
        std::fprintf(stderr, "no result message appeared\n");
        return 1;
    }
    uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
    std::printf("Result message [%s]: %s\n", uidriver::Narrow(info.caption).c_str(),
                uidriver::Narrow(info.text).c_str());
    Shoot(shots, L"3-result", licence);
    uidriver::AnswerMessageBox(box, IDOK);

    if (!setup.WaitForExit(30000)) {
        std::fprintf(stderr, "Setup.exe did not end\n");
        return 1;
    }
    std::printf("Setup.exe ended.\n");
    return 0;
}
