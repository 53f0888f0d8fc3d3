#include "app/ModulePath.h"

#include "app/SetupApp.h"
#include "upgrade/FileOps.h"

CString gModulePath;

CString OwnModulePath() {
    std::wstring path = AfxModuleFileName(nullptr);
    return path.empty() ? CString() : AnsiPathOf(path);
}
