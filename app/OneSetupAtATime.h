// Only one Setup upgrades the product at a time, whichever folder it was started from: a second
// one (a double click, another copy) shows the first one's window and ends.
#pragma once

#include "framework/Handles.h"

class OneSetupAtATime {
public:
    OneSetupAtATime();
    // Whether this process is the one that may run the upgrade. False also when Setup cannot tell
    // (the lock could not be made): another Setup may be running.
    [[nodiscard]] bool IsTheOne() const { return m_isTheOne; }
    // Brings the licence dialog of the Setup that runs, or what it shows on top, to the front.
    // False when there is none to be found on this desktop.
    [[nodiscard]] static bool ShowTheRunningSetup();

private:
    FileHandle m_lock;
    bool m_isTheOne = false;
};
