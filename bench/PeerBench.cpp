// Setup.exe against an installer built with NSIS that does the nearest equivalent job
// (bench/QuilloPeer.nsi): each started as a process of its own from the setup folder, silently
// (Setup with /quiet, the peer with /S), timed from CreateProcess until it has exited, side by
// side and alternating, on a small payload (nine DLL-sized files, about 6 MB in all) and on nine
// 50 MiB files. Setup always flushes what it writes; the peer is timed both with a flush of each
// file it copies and without. Before every run the installed files and the list are put back and
// flushed; after it, every destination must hold its payload file and the list its new entry.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "Staging.h"
#include "upgrade/AppListRewrite.h"
#include "upgrade/Upgrade.h"

#include <cstring>

namespace bench {

namespace {

constexpr DWORD kRunTimeoutMs = 120000;

std::string PeerRoot() {
    return std::string(kBenchRoot) + "\\peer";
}

// The nine payload files' sizes of one comparison.
struct PayloadSizes {
    const char* name;
    size_t bytes[9];
    int repetitions;
};

// DLL-sized files, 6.1 MB in all; and nine files of 50 MiB.
constexpr PayloadSizes kSmall = {
    "small payload (nine files, 6.1 MB in all)",
    {412160, 1843712, 655360, 301056, 296960, 1167360, 88064, 733184, 602112},
    21};
constexpr PayloadSizes kLarge = {
    "nine 50 MiB files",
    {52428800, 52428800, 52428800, 52428800, 52428800, 52428800, 52428800, 52428800, 52428800},
    7};

struct PeerTree {
    product::StagedProduct paths;
    std::vector<std::string> olderCopies; // the installed files as they are before an upgrade
    std::string listAfter;                // the list as Setup leaves it
};

// The list as the upgrade leaves it: the staged list with the entry added (RewriteAppList, which
// Setup's registration runs).
std::string ListAfterUpgrade(const std::string& before, const std::string& productInfo) {
    std::string buffer(kAppListSlack + before.size() +
                           AppListTailRoom(productInfo.size(), std::strlen(kUpgradeEntryText)),
                       '\0');
    buffer.replace(kAppListSlack, before.size(), before);
    AppListRewrite rewrite =
        RewriteAppList(&buffer[0], before.size(), productInfo, kUpgradeEntryText);
    if (rewrite.status != AppListRewrite::Status::Rewritten)
        Problem("the staged list cannot be rewritten");
    return buffer.substr(rewrite.begin, rewrite.end - rewrite.begin);
}

// Stages the product with Setup.exe and both builds of the peer in its setup folder, the payload
// files of `sizes` (each newer than its installed file) and their older installed copies.
PeerTree Stage(const PayloadSizes& sizes) {
    product::ProductOptions options;
    options.root = PeerRoot();
    options.setupExeSource = OwnFolder() + "\\Setup.exe";
    PeerTree tree;
    tree.paths = product::StageProduct(options);
    for (const char* peer : {"QuilloPeer.exe", "QuilloPeerFlush.exe"})
        if (!::CopyFileA((OwnFolder() + "\\" + peer).c_str(),
                         (tree.paths.setupFolder + "\\" + peer).c_str(), FALSE))
            Problem(std::string("cannot stage ") + peer + " (built by the target QuilloPeer)");
    std::string olderFolder = PeerRoot() + "\\older";
    product::MakeFolders(olderFolder);
    for (int row = 0; row < 9; ++row) {
        const std::string& payload = tree.paths.payloadFiles[row];
        if (!WriteAndFlush(payload, PatternBytes(sizes.bytes[row], 3000 + row)) ||
            !product::SetFileTicks(payload, product::PayloadTicks(row, product::DestState::Older)))
            Problem("cannot write the payload file " + payload);
        std::string older = olderFolder + "\\row" + std::to_string(row + 1) + ".bin";
        if (!WriteAndFlush(older, PatternBytes(sizes.bytes[row], 4000 + row)))
            Problem("cannot write the older copy " + older);
        tree.olderCopies.push_back(older);
    }
    tree.listAfter = ListAfterUpgrade(product::DefaultListBytes(), options.productInfo);
    return tree;
}

// Puts the older installed copies back with their older times, and the list as it was staged,
// flushed to disk.
void Reset(const PeerTree& tree) {
    if (!WriteAndFlush(tree.paths.listFile, product::DefaultListBytes()))
        Problem("cannot reset " + tree.paths.listFile);
    for (int row = 0; row < 9; ++row)
        if (!CopyAndFlush(tree.olderCopies[row], tree.paths.destinationFiles[row],
                          product::InstalledTicks(row, product::DestState::Older)))
            Problem("cannot reset " + tree.paths.destinationFiles[row]);
}

// Whether the run left the tree as the upgrade should: every destination holding its payload
// file (size and time) and the list with its new entry.
bool Upgraded(const PeerTree& tree) {
    for (int row = 0; row < 9; ++row) {
        const std::string& destination = tree.paths.destinationFiles[row];
        if (FileSize(destination) != FileSize(tree.paths.payloadFiles[row]) ||
            product::FileTicks(destination) != product::FileTicks(tree.paths.payloadFiles[row]))
            return false;
    }
    return product::ReadFileBytes(tree.paths.listFile) == tree.listAfter;
}

// Runs `program` of the setup folder with `argument` until it exits; the seconds it took.
double RunToEnd(const PeerTree& tree, const std::string& program, const std::string& argument) {
    Reset(tree);
    std::string exe = tree.paths.setupFolder + "\\" + program;
    std::string commandLine = "\"" + exe + "\" " + argument;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Now();
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          tree.paths.setupFolder.c_str(), &startup, &process)) {
        Problem("cannot start " + exe);
        return 0;
    }
    DWORD waited = ::WaitForSingleObject(process.hProcess, kRunTimeoutMs);
    double elapsed = Now() - start;
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, kRunTimeoutMs);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0 || code != 0)
        Problem(Format("%s %s ended with %lu", program.c_str(), argument.c_str(), code));
    if (!Upgraded(tree))
        Problem(program + " " + argument + " did not leave the upgraded tree");
    return elapsed;
}

void Compare(const PayloadSizes& sizes) {
    Progress(std::string("nsis: staging the ") + sizes.name);
    PeerTree tree = Stage(sizes);
    std::vector<Job> jobs = {
        {"Setup.exe /quiet", [&] { return RunToEnd(tree, "Setup.exe", "/quiet"); }},
        {"peer, flushed", [&] { return RunToEnd(tree, "QuilloPeerFlush.exe", "/S"); }},
        {"peer, unflushed", [&] { return RunToEnd(tree, "QuilloPeer.exe", "/S"); }},
    };
    Progress("nsis: one warm-up round");
    Interleave(jobs, 1);
    Progress(Format("nsis: %d interleaved repetitions, %s", sizes.repetitions, sizes.name));
    std::vector<std::vector<double>> times = Interleave(jobs, sizes.repetitions);
    Detail(std::string("nsis, ") + sizes.name + ", Setup.exe /quiet ms: " + ListMs(times[0]));
    Detail(std::string("nsis, ") + sizes.name +
           ", peer with a flush of each copy ms: " + ListMs(times[1]));
    Detail(std::string("nsis, ") + sizes.name + ", peer without flushes ms: " + ListMs(times[2]));
    RatioFigure(
        std::string("durable replacement, Setup.exe / NSIS peer's copy and flush, ") + sizes.name,
        times[0], times[1], 1.0, "each a whole silent run from CreateProcess until it exits");
    RatioFigure(std::string("Setup.exe / NSIS peer's copy without flush, ") + sizes.name, times[0],
                times[2], 0, "");
    RatioFigure(std::string("NSIS peer, with a flush of each copy / without, ") + sizes.name,
                times[1], times[2], 0, "");
    product::RemoveProductRegistry();
    product::DeleteTree(PeerRoot());
}

} // namespace

void RunPeerBench() {
    Compare(kSmall);
    Compare(kLarge);
}

} // namespace bench
