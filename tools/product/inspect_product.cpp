// inspect_product.exe <root>
// Shows the demo's user what Setup did to the product staged below <root>:
// each installed file now holding the new build, the old one, or nothing; the
// payload files, Setup.exe and its folder still there or gone; and modlist.ini
// with the entries Setup added.
#include "Staging.h"

#include <cstdio>
#include <string>

namespace {

const char* DestinationState(int row, const std::string& path) {
    if (!product::FileExists(path)) {
        return "missing";
    }
    std::string bytes = product::ReadFileBytes(path);
    if (bytes == product::PayloadContent(row)) {
        return "replaced";
    }
    return bytes == product::InstalledContent(row) ? "unchanged" : "other content";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: inspect_product.exe <root>\n");
        return 1;
    }
    product::ProductOptions options;
    options.root = argv[1];
    product::StagedProduct paths = product::ProductPaths(options);
    for (int row = 0; row < 9; ++row) {
        std::printf("row %d %-34s %-9s payload file %s\n", row + 1, product::kDestinationPaths[row],
                    DestinationState(row, paths.destinationFiles[row]),
                    product::FileExists(paths.payloadFiles[row]) ? "present" : "deleted");
    }
    std::printf("setup folder %s: %s\n", paths.setupFolder.c_str(),
                product::FolderExists(paths.setupFolder) ? "present" : "removed");
    std::printf("Setup.exe: %s\n", product::FileExists(paths.setupExe) ? "present" : "removed");

    std::string list = product::ReadFileBytes(paths.listFile);
    if (list.size() < 16) {
        std::printf("modlist.ini: missing or shorter than 16 bytes\n");
        return 0;
    }
    std::printf("modlist.ini from offset 16:\n%s\n", product::Printable(list.substr(16)).c_str());
    // The original entries end where the staged list ended; later entries follow them.
    std::string original = product::DefaultListBytes();
    size_t body = original.find("[LIST]");
    size_t at = list.find(original.substr(body));
    std::string added =
        at == std::string::npos ? list.substr(16) : list.substr(at + original.size() - body);
    std::printf("after the original entries:\n%s\n",
                added.empty() ? "(nothing)" : product::Printable(added).c_str());
    return 0;
}
