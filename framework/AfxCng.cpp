#include "AfxCng.h"

#include "AfxApp.h"
#include "Handles.h"

namespace {

constexpr char kBcrypt[] = "bcrypt.dll";
CngFunctions g_cng = {};
bool g_tried = false;
Result g_loaded;

template <typename Function> bool Resolve(HMODULE library, const char* name, Function& function) {
    function = AfxFunction<Function>(library, name);
    return function != nullptr;
}

Result Load() {
    HMODULE bcrypt = nullptr;
    if (Result loaded = AfxLoadSystemLibrary(kBcrypt, &bcrypt); !loaded)
        return loaded;
    const bool complete =
        Resolve(bcrypt, "BCryptOpenAlgorithmProvider", g_cng.openAlgorithmProvider) &&
        Resolve(bcrypt, "BCryptCloseAlgorithmProvider", g_cng.closeAlgorithmProvider) &&
        Resolve(bcrypt, "BCryptCreateHash", g_cng.createHash) &&
        Resolve(bcrypt, "BCryptHashData", g_cng.hashData) &&
        Resolve(bcrypt, "BCryptFinishHash", g_cng.finishHash) &&
        Resolve(bcrypt, "BCryptDestroyHash", g_cng.destroyHash);
    return complete ? Result() : Failed(kBcrypt, ERROR_PROC_NOT_FOUND);
}

} // namespace

Result AfxLoadCng(const CngFunctions** functions) {
    if (!g_tried) {
        g_tried = true;
        g_loaded = Load();
    }
    *functions = g_loaded ? &g_cng : nullptr;
    return g_loaded;
}

Result AfxCngResult(NTSTATUS status) {
    if (BCRYPT_SUCCESS(status))
        return {};
    // ntdll is in every process; it turns a status into the system's error code.
    using ToErrorFn = ULONG(WINAPI*)(NTSTATUS);
    auto toError = AfxFunction<ToErrorFn>(::GetModuleHandleA("ntdll.dll"), "RtlNtStatusToDosError");
    return Failed(kBcrypt, toError ? toError(status) : ERROR_INTERNAL_ERROR);
}

// A CNG handle exists only once the functions that close it were found.
void CngAlgorithmTraits::Close(Type h) {
    (void)g_cng.closeAlgorithmProvider(h, 0);
}

void CngHashTraits::Close(Type h) {
    (void)g_cng.destroyHash(h);
}
