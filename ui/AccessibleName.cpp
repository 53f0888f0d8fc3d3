#include "ui/AccessibleName.h"

#include "framework/AfxApp.h"

#include <oleacc.h>

namespace {
// The annotation service and what it names; not taken from oleacc's import library, which
// Setup does not link: ole32 is loaded only when the licence is shown.
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr MSAAPROPID kName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
} // namespace

bool SetAccessibleName(HWND control, UINT id) {
    static const char* const kNames[] = {"CoInitializeEx", "CoCreateInstance"};
    struct {
        HRESULT(WINAPI* initialize)(void*, DWORD);
        HRESULT(WINAPI* create)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
    } ole32;
    const std::wstring name = AfxLoadText(id);
    if (!control || name.empty() || !AfxLoadSystemFunctions("ole32.dll", kNames, &ole32))
        return false;
    // COM stays initialised on this thread until Setup ends; nothing else of Setup's uses it.
    IAccPropServices* services = nullptr;
    if (FAILED(ole32.initialize(nullptr, COINIT_APARTMENTTHREADED)) ||
        FAILED(ole32.create(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIAccPropServices,
                            reinterpret_cast<void**>(&services))))
        return false;
    const HRESULT named =
        services->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, kName, name.c_str());
    services->Release();
    return SUCCEEDED(named);
}
