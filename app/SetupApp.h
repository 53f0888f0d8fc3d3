// The application: installer mode with exactly one argument, clean-up mode otherwise.
#pragma once

#include "framework/AfxApp.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp();
    BOOL InitInstance() override;

private:
    // Starts the temporary copy that removes Setup.exe and its folder once this process has ended.
    void StartSelfRemoval();
    // The temporary copy's work: wait for the installer to end, then remove it and its folder.
    void RunCleanupMode();
    // Installer mode: the licence dialog and the upgrade, or the end of one cut short.
    void RunInstallerMode();
    // The install base as the registry says now; "" when it cannot be read.
    static CString RegisteredInstallBase();
};

extern CSetupApp theApp;
// The running executable's full path while the licence dialog is up; the setup folder afterwards.
extern CString gModulePath;
