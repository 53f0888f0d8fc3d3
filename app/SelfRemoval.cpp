#include "SetupApp.h"

void CSetupApp::StartSelfRemoval() {
}

void CSetupApp::RunCleanupMode() {
}
