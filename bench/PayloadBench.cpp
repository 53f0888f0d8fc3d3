// The whole upgrade of nine 50 MiB payload files over older installed copies (UpgradeProduct:
// staged copies, each flushed, backups, renames, the list's registration), timed side by side
// with CopyFileA of the same nine files to the same destinations followed by a flush of each
// copy (the floor with the same guarantee: every byte on the disk), and, for reference, with
// CopyFileA alone.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "EngineRun.h"
#include "Staging.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/Journal.h"
#include "upgrade/PayloadDigests.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/Sha256.h"
#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

namespace bench {

namespace {

constexpr size_t kPayloadSize = 50u * 1024 * 1024;
constexpr int kRepetitions = 7;
constexpr char kEntry[] = "Pack07up02.exe";

std::string PayloadRoot() {
    return std::string(kBenchRoot) + "\\payload";
}

struct PayloadTree {
    product::StagedProduct paths;
    std::vector<std::string> olderCopies;    // the installed files as they are before an upgrade
    PayloadDigest digests[kPayloadRowCount]; // as a release build records them
    std::vector<std::string> contents;       // the payload files' bytes
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
        tree.contents.push_back(PatternBytes(kPayloadSize, 1000 + row));
        Sha256 digest;
        tree.digests[row].size = kPayloadSize;
        if (!digest.Start() || !digest.Add(tree.contents[row].data(), kPayloadSize) ||
            !digest.Finish(tree.digests[row].sha256))
            Problem("cannot take the SHA-256 of payload file " + std::to_string(row + 1));
        if (!WriteAndFlush(payload, tree.contents[row]) ||
            !product::SetFileTicks(payload, product::PayloadTicks(row, product::DestState::Older)))
            Problem("cannot write the payload file " + payload);
        std::string older = olderFolder + "\\row" + std::to_string(row + 1) + ".bin";
        if (!WriteAndFlush(older, PatternBytes(kPayloadSize, 2000 + row)))
            Problem("cannot write the older copy " + older);
        tree.olderCopies.push_back(older);
    }
    return tree;
}

// Puts the older installed copies back in place, with their older times, and the list as it was
// staged, flushed to disk.
void Reset(const PayloadTree& tree) {
    if (!WriteAndFlush(tree.paths.listFile, product::DefaultListBytes()))
        Problem("cannot reset " + tree.paths.listFile);
    for (int row = 0; row < kPayloadRowCount; ++row) {
        if (!CopyAndFlush(tree.olderCopies[row], tree.paths.destinationFiles[row],
                          product::InstalledTicks(row, product::DestState::Older)))
            Problem("cannot reset " + tree.paths.destinationFiles[row]);
    }
}

// The floor's copy of row `row`: CopyFileA over the destination, then the copy flushed.
void CopyFileAAndFlush(const PayloadTree& tree, int row) {
    const std::string& to = tree.paths.destinationFiles[row];
    ::CopyFileA(tree.paths.payloadFiles[row].c_str(), to.c_str(), FALSE);
    HANDLE file = ::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ::FlushFileBuffers(file);
    ::CloseHandle(file);
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

    std::vector<double> finish;
    std::vector<Job> jobs;
    jobs.push_back({"UpgradeProduct", [&] {
                        Reset(tree);
                        double start = Now();
                        const bool upgraded =
                            product::UpgradeAlone(setupFolder,
                                                  product::TreeAt(std::string(installBase)), kEntry)
                                .Ok();
                        double elapsed = Now() - start;
                        product::FinishRun(std::string(installBase));
                        finish.push_back(Now() - start - elapsed);
                        if (!upgraded)
                            Problem("UpgradeProduct did not upgrade");
                        if (!AllReplaced(tree))
                            Problem("the upgrade left a destination without its payload");
                        return elapsed;
                    }});
    // The transaction's steps as UpgradeProduct takes them, each timed (the decisions on the
    // rows left out): the journal, the staged copies, the list, the commit. As a release takes
    // them, each staged copy is also checked against its payload file's SHA-256, taken from the
    // bytes as they are copied.
    std::vector<double> begin, stage, list, commit;
    auto steps = [&](bool release) {
        Reset(tree);
        std::vector<JournalEntry> entries;
        for (int row = 0; row < kPayloadRowCount; ++row)
            entries.push_back({row, false});
        entries.push_back({kListItem, false});
        double t0 = Now();
        bool ok = true;
        double t1 = 0, t2 = 0, t3 = 0, t4 = 0;
        {
            UpgradeTransaction transaction(product::TreeAt(std::string(installBase)));
            ok = transaction.Begin(entries).Ok();
            t1 = Now();
            for (int row = 0; ok && row < kPayloadRowCount; ++row)
                ok = transaction
                         .StageCopy(row, tree.paths.payloadFiles[row].c_str(),
                                    release ? &tree.digests[row] : nullptr)
                         .Ok();
            t2 = Now();
            const CString listPath(tree.paths.listFile);
            FileHandle held;
            AppListContent content;
            ok = ok && HoldFile(listPath, &held).Ok() &&
                 RegisterInAppList(held.Get(), listPath, kEntry, &content).Ok();
            transaction.Hold(kPayloadRowCount, std::move(held));
            ok = ok && transaction.StageBytes(kPayloadRowCount, content.bytes).Ok();
            t3 = Now();
            ok = ok && transaction.Commit().Ok();
            t4 = Now();
        }
        product::FinishRun(std::string(installBase));
        if (!ok || !AllReplaced(tree))
            Problem("the transaction's steps did not replace the payload");
        if (!release) {
            begin.push_back(t1 - t0);
            stage.push_back(t2 - t1);
            list.push_back(t3 - t2);
            commit.push_back(t4 - t3);
        }
        return t4 - t0;
    };
    jobs.push_back({"steps", [&] { return steps(false); }});
    jobs.push_back({"steps of a release", [&] { return steps(true); }});
    jobs.push_back({"CopyFileA, flush and SHA-256", [&] {
                        Reset(tree);
                        double start = Now();
                        unsigned char digest[32];
                        for (int row = 0; row < kPayloadRowCount; ++row) {
                            CopyFileAAndFlush(tree, row);
                            Sha256 sha;
                            if (!sha.Start() || !sha.Add(tree.contents[row].data(), kPayloadSize) ||
                                !sha.Finish(digest))
                                Problem("SHA-256 failed");
                        }
                        double elapsed = Now() - start;
                        if (!AllReplaced(tree))
                            Problem("CopyFileA left a destination without its payload");
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
    jobs.push_back({"CopyFileA and flush", [&] {
                        Reset(tree);
                        double start = Now();
                        for (int row = 0; row < kPayloadRowCount; ++row)
                            CopyFileAAndFlush(tree, row);
                        double elapsed = Now() - start;
                        if (!AllReplaced(tree))
                            Problem("CopyFileA left a destination without its payload");
                        return elapsed;
                    }});
    Progress("payload: one warm-up round");
    Interleave(jobs, 1);
    for (std::vector<double>* part : {&finish, &begin, &stage, &list, &commit})
        part->clear();
    Progress(Format("payload: %d interleaved repetitions", kRepetitions));
    std::vector<std::vector<double>> times = Interleave(jobs, kRepetitions);
    Detail("UpgradeProduct of the nine files ms: " + ListMs(times[0]));
    Detail("CopyFileA of the nine files ms: " + ListMs(times[4]));
    Detail("CopyFileA and flush of the nine files ms: " + ListMs(times[5]));
    Detail("payload, the transaction's steps in runs of their own ms: " + ListMs(times[1]));
    Detail("payload, the same steps as a release takes them (each copy's SHA-256 checked) ms: " +
           ListMs(times[2]));
    Detail("CopyFileA and flush of the nine files and the SHA-256 of their bytes ms: " +
           ListMs(times[3]));
    Detail(Format("payload, the transaction's steps in runs of their own (medians): Begin (the "
                  "names checked) %.1f ms, StageCopy of the nine files (each copy's flush started) "
                  "%.1f ms, the list (RegisterInAppList and StageBytes) %.1f ms, Commit (the "
                  "staged copies' flushes waited for, the journal written and renamed, ten files "
                  "renamed away and ten renamed in, the "
                  "backups deleted) %.1f ms",
                  Median(begin) * 1000, Median(stage) * 1000, Median(list) * 1000,
                  Median(commit) * 1000));
    Detail(
        Format("payload, UpgradeTransaction::Finish after the upgrade (journal read and deletion): "
               "median %.1f ms",
               Median(finish) * 1000));
    RatioFigure(
        "whole replacement (UpgradeProduct) / CopyFileA and flush, nine 50 MiB files", times[0],
        times[5], 1.1,
        Format("%d repetitions of 9 files of %.0f MiB", kRepetitions, kPayloadSize / 1048576.0));
    RatioFigure("whole replacement (UpgradeProduct) / CopyFileA, nine 50 MiB files", times[0],
                times[4], 0, "no flush: not the same guarantee");
    RatioFigure("whole replacement of a release (each payload file's SHA-256 checked) / "
                "(CopyFileA, flush + SHA-256 of the same bytes), nine 50 MiB files",
                times[2], times[3], 1.1,
                Format("%d repetitions; the release's check adds no second read", kRepetitions));
    product::RemoveProductRegistry();
    product::DeleteTree(PayloadRoot());
}

} // namespace bench
