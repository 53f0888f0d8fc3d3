// Stages a simulated installed Quillo product for the demo and the tests:
// its registry values, its install tree with older copies of the payload's
// destination files, its application-list file, and a setup folder holding a
// copy of Setup.exe with nine newer payload files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace product {

// State of one destination file below the install base before Setup runs.
enum class DestState {
    Older,         // present, modified well before the payload file (default)
    OlderBySecond, // present, modified exactly one second before the payload file
    SameSecond,    // present, modified in the same whole second as the payload file
    Newer,         // present, modified after the payload file
    Missing,       // absent, its folder present
    FolderAbsent,  // absent, and its folder too
};

struct ProductOptions {
    std::string root;           // a fresh folder on C: that holds everything staged
    std::string setupExeSource; // the built Setup.exe to copy into the setup folder
    std::string setupExeName = "Setup.exe";
    std::string setupFolderName = "setup"; // may contain blanks
    std::string installFolderName = "Quillo";

    bool writeVersion = true;
    std::string version = "4.501";
    DWORD versionType = REG_SZ; // REG_DWORD stores the number 4501
    bool writeBasePath = true;
    std::string basePathSuffix; // appended to the install base in the registry, e.g. "\\"
    bool writeProductInfo = true;
    std::string productInfo = "Quillo Pro 4.5";

    DestState dest[9] = {DestState::Older, DestState::Older, DestState::Older,
                         DestState::Older, DestState::Older, DestState::Older,
                         DestState::Older, DestState::Older, DestState::Older};
    bool payloadPresent[9] = {true, true, true, true, true, true, true, true, true};

    bool writeListFile = true;
    std::string listBytes; // empty: DefaultListBytes()
};

struct StagedProduct {
    std::string installBase;                   // without trailing separator
    std::string setupFolder;                   // without trailing separator
    std::string setupExe;                      // setupFolder + "\\" + setupExeName
    std::string listFile;                      // installBase + "\\QuilloHub\\modlist.ini"
    std::vector<std::string> payloadFiles;     // full paths in table order
    std::vector<std::string> destinationFiles; // full paths in table order
};

// The payload table: source names and destination paths (both with a leading backslash).
extern const char* const kSourceNames[9];
extern const char* const kDestinationPaths[9];

// A list file with a 16-byte prefix (bytes 0x00..0x0F), two entries and count 2.
std::string DefaultListBytes();
// Distinct contents for payload file `row` (0-based) and for the installed copy.
std::string PayloadContent(int row);
std::string InstalledContent(int row);

// The paths StageProduct uses for these options, without touching anything.
StagedProduct ProductPaths(const ProductOptions& options);

// Deletes the product's registry key, then stages everything anew under options.root
// (which is deleted first if it exists). Returns the paths. A root that is not a folder
// below a drive root ("C:\\x" at least) is refused: nothing is done and all paths are empty.
// A row in state FolderAbsent removes its destination's folder with everything in it,
// other rows' files included (0-based rows 0, 2, 5 and 6 share "\\tindict", rows 3 and 4
// share "\\QuilloSA\\QuilloTTS", which lies inside row 8's "\\QuilloSA"; row 1's folder is
// the install base itself).
StagedProduct StageProduct(const ProductOptions& options);
// Deletes the product's registry key (HKLM\Software\Morvane\Quillo, whole tree).
void RemoveProductRegistry();

std::string ReadFileBytes(const std::string& path); // "" when missing
// Bytes shown readably: printable ASCII as is (a backslash too), everything else as \xNN; with
// `lineBreaks`, CR LF as a line break.
std::string Printable(const std::string& bytes, bool lineBreaks = false);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Last-write time in whole seconds since 1601, or -1.
long long FileSeconds(const std::string& path);
bool SetFileSeconds(const std::string& path, long long seconds);
// Puts a link at `link` to the existing `target`, as a standard user could: a hard link, or a
// symbolic link made from the Linux side (ln -s), which Wine shows as the file it leads to.
bool MakeLink(const std::string& target, const std::string& link, bool symbolic);
// Deletes a folder tree (or a single file); true when it no longer exists.
bool DeleteTree(const std::string& path);
// The folder part of a path in the code page in use (a trail byte is never a separator).
std::string ParentFolder(const std::string& path);
// Creates a folder and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& path);
// Last-write time in 100-nanosecond ticks since 1601, or -1.
long long FileTicks(const std::string& path);
bool SetFileTicks(const std::string& path, long long ticks);

// Ticks per second of FILETIME, and the staged payload time of row 0:
// 2024-05-01 12:00:00 UTC. The payload of 0-based row n is n minutes later.
constexpr long long kTicksPerSecond = 10000000;
constexpr long long kPayloadBaseSeconds = 13359038400LL;
// Last-write times StageProduct gives payload file `row` and its installed copy when the
// installed copy is in `state`. SameSecond puts the payload half a second into the second
// of the installed copy, so only a whole-second comparison finds them equal.
long long PayloadTicks(int row, DestState state);
long long InstalledTicks(int row, DestState state);

} // namespace product
