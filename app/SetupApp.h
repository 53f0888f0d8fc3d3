// The application: installer mode with exactly one argument, clean-up mode otherwise.
#pragma once

#include "framework/AfxApp.h"

class SetupLog;

class CSetupApp : public CWinApp {
public:
    CSetupApp();
    BOOL InitInstance() override;
    // The run's outcome as an exit code (RunMode.h).
    int ExitInstance() override { return m_exitCode; }

private:
    // Starts the temporary copy that removes Setup.exe and its folder once this process has ended.
    void StartSelfRemoval();
    // The temporary copy's work: wait for the installer to end, then remove it and its folder.
    void RunCleanupMode();
    // Installer mode: the licence dialog and the upgrade, or the end of one cut short.
    void RunInstallerMode();
    // The unattended run: the upgrade with no window, its outcome in the log.
    void RunUnattended();
    int Unattended(SetupLog& log);
    // The install base as the registry says now; "" when it cannot be read.
    static CString RegisteredInstallBase();

    int m_exitCode = 0;
};

extern CSetupApp theApp;
// The running executable's full path while the licence dialog is up; the setup folder afterwards.
extern CString gModulePath;
