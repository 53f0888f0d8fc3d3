#include "AfxCng.h"

#include "AfxApp.h"
#include "Handles.h"

namespace {

CngFunctions g_cng = {};
bool g_tried = false;
bool g_loaded = false;

template <typename Function> bool Resolve(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    return function != nullptr;
}

bool Load() {
    HMODULE bcrypt = AfxLoadSystemLibrary("bcrypt.dll");
    return bcrypt && Resolve(bcrypt, "BCryptOpenAlgorithmProvider", g_cng.openAlgorithmProvider) &&
           Resolve(bcrypt, "BCryptCloseAlgorithmProvider", g_cng.closeAlgorithmProvider) &&
           Resolve(bcrypt, "BCryptCreateHash", g_cng.createHash) &&
           Resolve(bcrypt, "BCryptHashData", g_cng.hashData) &&
           Resolve(bcrypt, "BCryptFinishHash", g_cng.finishHash) &&
           Resolve(bcrypt, "BCryptDestroyHash", g_cng.destroyHash);
}

} // namespace

const CngFunctions* AfxCng() {
    if (!g_tried) {
        g_tried = true;
        g_loaded = Load();
    }
    return g_loaded ? &g_cng : nullptr;
}

// A CNG handle exists only once AfxCng() has found the functions that close it.
void CngAlgorithmTraits::Close(Type h) {
    AfxCng()->closeAlgorithmProvider(h, 0);
}

void CngHashTraits::Close(Type h) {
    AfxCng()->destroyHash(h);
}
