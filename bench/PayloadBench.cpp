// Payload replacement of nine 50 MiB files over older installed copies, timed side by side with
// CopyFileA of the same nine files to the same destinations.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "Staging.h"
#include "ui/SetupDlg.h"

namespace bench {

namespace {

constexpr size_t kPayloadSize = 50u * 1024 * 1024;
constexpr int kRepetitions = 7;

std::string PayloadRoot() {
    return std::string(kBenchRoot) + "\\payload";
}

struct PayloadTree {
    product::StagedProduct paths;
    std::vector<std::string> olderCopies; // the installed files as they are before an upgrade
};

// Stages the install tree and the setup folder as the product and the upgrade ship them, then
// gives every payload file and every installed file 50 MB of its own content, with the times
// the staging gives them (each payload file newer than its installed file).
PayloadTree Stage() {
    Progress("payload: staging nine 50 MiB payload files and their older installed copies");
    product::ProductOptions options;
    options.root = PayloadRoot();
    PayloadTree tree;
    tree.paths = product::StageProduct(options);
    std::string olderFolder = PayloadRoot() + "\\older";
    product::MakeFolders(olderFolder);
    for (int row = 0; row < kPayloadRowCount; ++row) {
        const std::string& payload = tree.paths.payloadFiles[row];
        if (!WriteAndFlush(payload, PatternBytes(kPayloadSize, 1000 + row)) ||
            !product::SetFileTicks(payload, product::PayloadTicks(row, product::DestState::Older)))
            Problem("cannot write the payload file " + payload);
        std::string older = olderFolder + "\\row" + std::to_string(row + 1) + ".bin";
        if (!WriteAndFlush(older, PatternBytes(kPayloadSize, 2000 + row)))
            Problem("cannot write the older copy " + older);
        tree.olderCopies.push_back(older);
    }
    return tree;
}

// Puts the older installed copies back in place, with their older times, flushed to disk.
void Reset(const PayloadTree& tree) {
    for (int row = 0; row < kPayloadRowCount; ++row) {
        if (!CopyAndFlush(tree.olderCopies[row], tree.paths.destinationFiles[row],
                          product::InstalledTicks(row, product::DestState::Older)))
            Problem("cannot reset " + tree.paths.destinationFiles[row]);
    }
}

// Whether every destination now holds its payload file (its size and its time).
bool AllReplaced(const PayloadTree& tree) {
    for (int row = 0; row < kPayloadRowCount; ++row) {
        const std::string& destination = tree.paths.destinationFiles[row];
        if (FileSize(destination) != static_cast<long long>(kPayloadSize) ||
            product::FileTicks(destination) != product::FileTicks(tree.paths.payloadFiles[row]))
            return false;
    }
    return true;
}

} // namespace

void RunPayloadBench() {
    PayloadTree tree = Stage();
    const CString setupFolder(tree.paths.setupFolder);
    const CString installBase(tree.paths.installBase);

    std::vector<Job> jobs;
    jobs.push_back({"replacement", [&] {
                        Reset(tree);
                        double start = Now();
                        std::vector<RowOutcome> outcomes =
                            CSetupDlg::ReplacePayloadFiles(setupFolder, installBase);
                        double elapsed = Now() - start;
                        for (RowOutcome outcome : outcomes) {
                            if (outcome != RowOutcome::Replaced)
                                Problem(std::string("a payload row was not replaced: ") +
                                        RowOutcomeName(outcome));
                        }
                        if (!AllReplaced(tree))
                            Problem("the replacement left a destination without its payload");
                        return elapsed;
                    }});
    jobs.push_back({"CopyFileA", [&] {
                        Reset(tree);
                        double start = Now();
                        for (int row = 0; row < kPayloadRowCount; ++row)
                            ::CopyFileA(tree.paths.payloadFiles[row].c_str(),
                                        tree.paths.destinationFiles[row].c_str(), FALSE);
                        double elapsed = Now() - start;
                        if (!AllReplaced(tree))
                            Problem("CopyFileA left a destination without its payload");
                        return elapsed;
                    }});
    Progress("payload: one warm-up round");
    Interleave(jobs, 1);
    Progress(Format("payload: %d interleaved repetitions", kRepetitions));
    std::vector<std::vector<double>> times = Interleave(jobs, kRepetitions);
    double replacement = Median(times[0]);
    double copy = Median(times[1]);
    Detail("payload replacement ms: " + ListMs(times[0]));
    Detail("CopyFileA of the nine files ms: " + ListMs(times[1]));
    Figure("payload replacement / CopyFileA, nine 50 MiB files", replacement / copy, 1.2, "x",
           Format("median of %d interleaved: %.1f ms / %.1f ms (9 files of %.0f MiB); median of "
                  "the paired ratios %.2f",
                  kRepetitions, replacement * 1000, copy * 1000, kPayloadSize / 1048576.0,
                  MedianRatio(times[0], times[1])));
    product::RemoveProductRegistry();
    product::DeleteTree(PayloadRoot());
}

} // namespace bench
