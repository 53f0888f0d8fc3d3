// stage_product.exe <root> <Setup.exe path>
// Stages the simulated installed product with its defaults below <root> (deleted first):
// registry values of version "4.501", the install tree, the application-list file, and a
// setup folder with a copy of Setup.exe and the nine payload files. Prints
// installBase=, setupFolder=, setupExe= and listFile=, one per line.
#include "Staging.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: stage_product.exe <root> <Setup.exe path>\n");
        return 1;
    }
    product::ProductOptions options;
    options.root = argv[1];
    options.setupExeSource = argv[2];
    product::StagedProduct staged = product::StageProduct(options);
    if (staged.setupExe.empty()) {
        std::fprintf(stderr, "stage_product: refusing root %s (use a folder such as C:\\x)\n",
                     argv[1]);
        return 1;
    }
    std::printf("installBase=%s\n", staged.installBase.c_str());
    std::printf("setupFolder=%s\n", staged.setupFolder.c_str());
    std::printf("setupExe=%s\n", staged.setupExe.c_str());
    std::printf("listFile=%s\n", staged.listFile.c_str());
    if (!product::FileExists(staged.setupExe) || !product::FileExists(staged.listFile)) {
        std::fprintf(stderr, "stage_product: could not stage everything (Setup.exe from %s)\n",
                     argv[2]);
        return 2;
    }
    return 0;
}
