// The unattended run ("/quiet"), for distribution systems: the upgrade as after "Yes", with no
// window of any kind (it may run as SYSTEM, with no desktop), its outcome as the exit code, and
// what it did in the log. The setup folder is never touched: the deployer owns it (often a share
// that the next machine still needs).
#include "app/SetupApp.h"

#include "app/ModulePath.h"
#include "app/OneSetupAtATime.h"
#include "app/RunMode.h"
#include "app/SetupLog.h"
#include "framework/AfxFile.h"
#include "upgrade/FileOps.h"
#include "upgrade/RunningPrograms.h"
#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

namespace {
const char* DecisionText(RowOutcome outcome) {
    switch (outcome) {
    case RowOutcome::Replaced:
        return "replace (the payload file is newer)";
    case RowOutcome::Added:
        return "add (not installed, its folder is there)";
    case RowOutcome::SkippedNotNewer:
        return "up to date (the installed file is as new as the payload file, or newer)";
    case RowOutcome::SkippedNotInstalled:
        return "not installed (this file is only ever replaced)";
    case RowOutcome::SkippedFolderAbsent:
        return "not installed (its folder is absent)";
    case RowOutcome::FailedSourceMissing:
        return "failed: the payload file is missing";
    case RowOutcome::FailedSourceDamaged:
        return "failed: the payload file is damaged, or not the released one";
    case RowOutcome::FailedUnreadable:
        return "failed: the installed file or its folder cannot be examined";
    case RowOutcome::FailedPathTooLong:
        return "failed: a path is too long";
    }
    return "";
}

const char* ExitText(int code) {
    switch (code) {
    case kExitSuccess:
        return "upgraded";
    case kExitAnotherSetup:
        return "another Setup is running";
    case kExitNotThisProduct:
        return "the product is not installed, or is another version";
    default:
        return "the upgrade could not be completed; nothing was changed";
    }
}

// Setup's file version from its own version resource, "1.0.0.1"; "" without one.
CString FileVersion() {
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
    for (DWORD at = 0; data && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        const VS_FIXEDFILEINFO* info = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + at);
        if (info->dwSignature != VS_FFI_SIGNATURE)
            continue;
        char text[48];
        wsprintfA(text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
        return text;
    }
    return CString();
}

void LogFailure(SetupLog& log, const FileError& error) {
    if (error.code != 0)
        log.Line("Failed: " + error.path + ": " + SystemErrorText(error.code));
}
} // namespace

void CSetupApp::RunUnattended() {
    SetupLog log;
    log.Line("Quillo Setup " + FileVersion() + ", unattended run");
    log.Line(std::wstring(L"Command line: ") + ::GetCommandLineW());
    m_exitCode = Unattended(log);
    char code[16];
    wsprintfA(code, "%d", m_exitCode);
    log.Line(CString("Exit code ") + code + " (" + ExitText(m_exitCode) + ")");
}

int CSetupApp::Unattended(SetupLog& log) {
    OneSetupAtATime lock;
    if (!lock.IsTheOne())
        return kExitAnotherSetup;
    gModulePath = OwnModulePath();
    const CString setupFolder = FolderOf(gModulePath);
    log.Line("Setup folder: " + setupFolder);

    // An upgrade cut short earlier is finished or rolled back first.
    const CString startBase = RegisteredInstallBase();
    FileError error;
    switch (UpgradeTransaction::Recover(startBase, &error)) {
    case UpgradeTransaction::Recovery::Failed:
        log.Line("An upgrade cut short earlier could not be rolled back or finished.");
        LogFailure(log, error);
        return kExitFailed;
    case UpgradeTransaction::Recovery::Completed:
        log.Line("An upgrade cut short earlier was complete: it is finished now.");
        UpgradeTransaction::Finish(startBase);
        return kExitSuccess;
    case UpgradeTransaction::Recovery::RolledBack:
        log.Line("An upgrade cut short earlier was rolled back: every installed file is as it "
                 "was before it.");
        break;
    default:
        break;
    }

    CRegReader reg;
    InstalledProduct product;
    const ProductCheck check = CheckInstalledProduct(reg, &product);
    log.Line("Installed version: \"" + product.version + "\"; install base: \"" +
             product.installBase + "\"");
    if (check == ProductCheck::WrongProduct) {
        log.Line("Not the product this upgrade is for, or not installed there: nothing was done.");
        return kExitNotThisProduct;
    }
    if (check != ProductCheck::Matches || setupFolder.IsEmpty()) {
        log.Line("The install base or the setup folder cannot be used: nothing was done.");
        return kExitFailed;
    }

    RunningPrograms programs;
    const size_t asked = programs.AskToQuit();
    const size_t running = programs.WaitForThemToEnd(false);
    char counts[96];
    wsprintfA(counts, "Asked %u of the product's programs to quit; %u still running.",
              static_cast<unsigned>(asked), static_cast<unsigned>(running));
    log.Line(counts);

    UpgradeReport report;
    const UpgradeOutcome outcome =
        UpgradeProduct(setupFolder, product.installBase, kUpgradeEntryText, &error, &report);
    for (int row = 0; row < report.rowsDecided; ++row) {
        char number[16];
        wsprintfA(number, "Row %d, ", row + 1);
        log.Line(number + CString(kPayloadRows[row].destination) + ": " +
                 DecisionText(report.rows[row]));
    }
    if (report.rowsDecided == kPayloadRowCount)
        log.Line(report.listFound ? "Registration in the application list: prepared"
                                  : "No application list: nothing to register");
    if (outcome != UpgradeOutcome::Upgraded) {
        LogFailure(log, error);
        log.Line("Nothing was changed.");
        return kExitFailed;
    }
    log.Line(report.listFound ? "Every change is in place, and the upgrade is registered."
                              : "Every change is in place.");
    UpgradeTransaction::Finish(product.installBase);
    return kExitSuccess;
}
