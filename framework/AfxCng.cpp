#include "AfxCng.h"

#include "AfxApp.h"
#include "Handles.h"

Result AfxCngResult(NTSTATUS status) {
    if (BCRYPT_SUCCESS(status))
        return {};
    // ntdll is in every process; it turns a status into the system's error code.
    using ToErrorFn = ULONG(WINAPI*)(NTSTATUS);
    auto toError = AfxFunction<ToErrorFn>("ntdll.dll", "RtlNtStatusToDosError");
    return Failed(kAfxCngLibrary, toError ? toError(status) : ERROR_INTERNAL_ERROR);
}

// A CNG handle exists only once bcrypt.dll was loaded and its functions found.
void CngAlgorithmTraits::Close(Type h) {
    using CloseFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
    (void)AfxFunction<CloseFn>(kAfxCngLibrary, "BCryptCloseAlgorithmProvider")(h, 0);
}

void CngHashTraits::Close(Type h) {
    using DestroyFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
    (void)AfxFunction<DestroyFn>(kAfxCngLibrary, "BCryptDestroyHash")(h);
}
