// The application: start-up and the choice of how Setup runs (its command line), and the run's
// exit code.
#pragma once

#include "framework/AfxApp.h"

class CSetupApp : public CWinApp {
public:
    BOOL InitInstance() override;
    // The run's outcome as an exit code (run/Outcome.h).
    int ExitInstance() override { return m_exitCode; }

private:
    int m_exitCode = 0;
};

extern CSetupApp theApp;
