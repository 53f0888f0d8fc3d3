#include "SetupFolder.h"

#include "upgrade/PayloadRules.h"

namespace {
bool IsLeadByteOfCodePage(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}
} // namespace

CString OwnModulePath() {
    char path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return CString();
    return CString(path, static_cast<int>(length));
}

CString SetupFolderOf(const CString& path) {
    return CString(FolderOfPath(path.Str(), IsLeadByteOfCodePage));
}
