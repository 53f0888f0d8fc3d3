// The upgrade engine: checks where the product is installed, then replaces the payload files and
// registers the upgrade in the product's application list, all or nothing.
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/RegReader.h"

class RunPresenter;
class SetupLog;

// What the registry says of the installed product, read once at the start of a run.
struct InstalledProduct {
    CString version;     // "CurrentVersion"; "" when it cannot be read
    CString installBase; // "BasePath"; "" when it cannot be read
};
InstalledProduct ReadInstalledProduct();

enum class [[nodiscard]] ProductCheck{
    Matches,      // version "4.501", installed in a usable install base: an absolute path to a
                  // folder that holds at least one of the payload's destination files
    WrongProduct, // another version, or the install base is reported absent or holds none of the
                  // product's files: plainly not installed there
    Unusable,     // the install base cannot be used: empty, relative, too long, not a folder, or
                  // the system cannot look at it
};
// Compares the installed version with "4.501" byte for byte; when it matches, checks the install
// base. When it is unusable, `why` names it (or the registry value, when there is none) and why.
ProductCheck CheckInstalledProduct(const InstalledProduct& product, Result& why);
// What the install base is worth (Matches: usable), whatever the version.
ProductCheck CheckInstallBase(const CString& installBase, Result& why);

// The entry text the upgrade registers in the application list.
constexpr char kUpgradeEntryText[] = "Pack07up02.exe";

// What became of each part of an upgrade, as far as it got.
struct UpgradeReport {
    int rowsDecided = 0; // rows[0 .. rowsDecided) hold decisions
    RowOutcome rows[kPayloadRowCount] = {};
    bool listFound = false; // the product has a list file
    Result rollBack;        // after a failure: whether what the upgrade began was rolled back
};

// Puts the payload files of `setupFolder` over the product's files below `installBase` by the
// newer-or-missing rule and registers `entry` in the product's list file, as one transaction. A
// failure names the file that stands in the way and the system's reason; what the upgrade began is
// then rolled back (report->rollBack says whether that succeeded). `report`, when given, receives
// what became of each part; `presenter`, when given, is kept responsive while the work goes on;
// `log`, when given, records each decision and the end as they happen.
Result UpgradeProduct(const CString& setupFolder, const CString& installBase, const char* entry,
                      UpgradeReport* report = nullptr, RunPresenter* presenter = nullptr,
                      SetupLog* log = nullptr);
