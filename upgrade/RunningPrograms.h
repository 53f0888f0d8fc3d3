// The product's running programs: asked to quit before its files are replaced, and waited for.
#pragma once

#include "framework/Handles.h"
#include "upgrade/Upgrade.h"

#include <vector>

class RunningPrograms {
public:
    // Asks the first window of each of the product's three programs to quit, in their order. A
    // hung program does not hang Setup: each request gives up after a few seconds. Each program
    // asked is held, so that it can be waited for. Returns how many were asked.
    size_t AskToQuit();
    // Waits until the programs asked have ended, at most 10 seconds, keeping `watcher`
    // responsive meanwhile. Returns how many still run.
    size_t WaitForThemToEnd(UpgradeWatcher& watcher);

private:
    std::vector<KernelHandle> m_processes;
};
