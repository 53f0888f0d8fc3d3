// Staging of the simulated installed product: the payload table, the contents and times of
// the staged files, and the whole layout under one root folder.
#include "Staging.h"

#include "ProductRegistry.h"

namespace product {

const char* const kSourceNames[9] = {
    "\\qdlg.dll",   "\\QuilloRes.dll", "\\lexview.exe", "\\QuVoiceS.dll", "\\QuVoiceT.dll",
    "\\Zxlook.exe", "\\Aux001.dll",    "\\Qutrans.dll", "\\QuilloSA.dll",
};

const char* const kDestinationPaths[9] = {
    "\\tindict\\qdlg.dll",
    "\\QuilloRes.dll",
    "\\tindict\\lexview.exe",
    "\\QuilloSA\\QuilloTTS\\QuVoiceS.dll",
    "\\QuilloSA\\QuilloTTS\\QuVoiceT.dll",
    "\\tindict\\Zxlook.exe",
    "\\tindict\\Aux001.dll",
    "\\QuilloMT\\Qutrans.dll",
    "\\QuilloSA\\QuilloSA.dll",
};

namespace {

constexpr long long kDaySeconds = 24 * 60 * 60;

long long PayloadSecond(int row) {
    return kPayloadBaseSeconds + 60LL * row;
}

// A folder below a drive root, such as "C:\x": anything shorter would let StageProduct
// delete a whole drive.
bool IsSafeRoot(const std::string& root) {
    return root.size() >= 4 && root[1] == ':' && (root[2] == '\\' || root[2] == '/') &&
           root[3] != '\\' && root[3] != '/';
}

void StageInstallTree(const ProductOptions& options, const StagedProduct& paths) {
    MakeFolders(paths.installBase);
    for (int row = 0; row < 9; ++row) {
        const std::string& destination = paths.destinationFiles[row];
        MakeFolders(ParentFolder(destination));
        DestState state = options.dest[row];
        if (state != DestState::Missing && state != DestState::FolderAbsent) {
            WriteFileBytes(destination, InstalledContent(row));
            SetFileTicks(destination, InstalledTicks(row, state));
        }
    }
    if (options.writeListFile) {
        MakeFolders(ParentFolder(paths.listFile));
        WriteFileBytes(paths.listFile,
                       options.listBytes.empty() ? DefaultListBytes() : options.listBytes);
    }
    // Removed last, so a folder shared with other rows goes with their files.
    for (int row = 0; row < 9; ++row) {
        if (options.dest[row] == DestState::FolderAbsent) {
            DeleteTree(ParentFolder(paths.destinationFiles[row]));
        }
    }
}

void StageSetupFolder(const ProductOptions& options, const StagedProduct& paths) {
    MakeFolders(paths.setupFolder);
    if (!options.setupExeSource.empty()) {
        CopyFileA(options.setupExeSource.c_str(), paths.setupExe.c_str(), FALSE);
    }
    for (int row = 0; row < 9; ++row) {
        if (options.payloadPresent[row]) {
            WriteFileBytes(paths.payloadFiles[row], PayloadContent(row));
            SetFileTicks(paths.payloadFiles[row], PayloadTicks(row, options.dest[row]));
        }
    }
}

} // namespace

std::string DefaultListBytes() {
    std::string bytes;
    for (int i = 0; i < 16; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    bytes += "2\r\n\r\n";
    bytes += std::string(25, ' ');
    bytes += "\r\n\r\n[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\nname2=Beta\r\nurl2=beta.exe\r\n";
    return bytes;
}

std::string PayloadContent(int row) {
    return "Quillo 4.502 payload file " + std::to_string(row + 1) + " " + kSourceNames[row] +
           "\r\n";
}

std::string InstalledContent(int row) {
    return "Quillo 4.501 installed file " + std::to_string(row + 1) + " " + kDestinationPaths[row] +
           "\r\n";
}

long long PayloadTicks(int row, DestState state) {
    long long ticks = PayloadSecond(row) * kTicksPerSecond;
    return state == DestState::SameSecond ? ticks + kTicksPerSecond / 2 : ticks;
}

long long InstalledTicks(int row, DestState state) {
    long long second = PayloadSecond(row);
    switch (state) {
    case DestState::Older:
        second -= kDaySeconds;
        break;
    case DestState::OlderBySecond:
        second -= 1;
        break;
    case DestState::SameSecond:
        break;
    case DestState::Newer:
        second += kDaySeconds;
        break;
    default:
        return -1;
    }
    return second * kTicksPerSecond;
}

StagedProduct ProductPaths(const ProductOptions& options) {
    StagedProduct paths;
    std::string root = options.root;
    while (root.size() > 3 && (root.back() == '\\' || root.back() == '/')) {
        root.pop_back();
    }
    paths.installBase = root + "\\" + options.installFolderName;
    paths.setupFolder = root + "\\" + options.setupFolderName;
    paths.setupExe = paths.setupFolder + "\\" + options.setupExeName;
    paths.listFile = paths.installBase + "\\QuilloHub\\modlist.ini";
    for (int row = 0; row < 9; ++row) {
        paths.payloadFiles.push_back(paths.setupFolder + kSourceNames[row]);
        paths.destinationFiles.push_back(paths.installBase + kDestinationPaths[row]);
    }
    return paths;
}

StagedProduct StageProduct(const ProductOptions& options) {
    if (!IsSafeRoot(options.root)) {
        return StagedProduct();
    }
    RemoveProductRegistry();
    DeleteTree(options.root);
    StagedProduct paths = ProductPaths(options);
    WriteProductRegistry(options, paths.installBase);
    StageInstallTree(options, paths);
    StageSetupFolder(options, paths);
    return paths;
}

} // namespace product
