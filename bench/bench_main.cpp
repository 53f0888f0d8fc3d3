// The benchmark program: `quillo_bench <group>...` runs the named groups of figures
// (registration, memory, payload, startup, nsis; all five when none is named) and prints one
// tab-separated line per figure and per detail on standard output, for bench/run.sh.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "Staging.h"

#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "memory-child") == 0)
        return bench::RunMemoryChild(argc, argv);

    std::vector<std::string> groups(argv + 1, argv + argc);
    if (groups.empty())
        groups = {"registration", "memory", "payload", "startup", "nsis"};
    for (const std::string& group : groups) {
        if (group == "registration") {
            bench::RunRegistrationBench();
        } else if (group == "memory") {
            bench::RunMemoryBench();
        } else if (group == "payload") {
            bench::RunPayloadBench();
        } else if (group == "startup") {
            bench::RunStartupBench();
        } else if (group == "nsis") {
            bench::RunPeerBench();
        } else {
            bench::Progress("unknown group " + group +
                            " (known: registration, memory, payload, startup, nsis)");
            return 2;
        }
    }
    product::DeleteTree(bench::kBenchRoot);
    return 0;
}
