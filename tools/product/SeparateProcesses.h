// The simulated product's windows as separate programs: one process per window class.
#pragma once

#include <string>
#include <vector>

namespace product {

// Starts this program once per class with "<logFile> --classes <class>" (plus "--hang <class>"
// for `hangClass`), writes `readyFile` (when not empty) once every child shows its window,
// and returns 0 when all children have ended; 3 when a child did not come up. The children
// belong to a job that ends them when this process ends.
int RunProductProcesses(const std::string& logFile, const std::vector<std::string>& classes,
                        const std::string& hangClass, const std::string& readyFile);

} // namespace product
