// A stand-in for the system's annotation service (CLSID_AccPropServices, IAccPropServices) for
// the tests, never shipped. Wine registers the class but its methods do nothing, so the tests
// register this one in their prefix (InstallAnnotationStandIn). As Windows documents
// it, SetHwndPropStr annotates the accessible object (hwnd, idObject, idChild) with a string
// property, which clients such as screen readers then read in place of the object's own: this
// stand-in keeps each annotation as a line of %WINDIR%\annotation-standin.txt, UTF-8,
//   HWND ID-OBJECT ID-CHILD {PROPERTY} TEXT
// (the window handle in decimal, the ids as signed numbers, the property's GUID), where a test
// reads it. A string with a line break, an invalid window or a null string is refused
// (E_INVALIDARG). Every other method, which Setup never calls, answers E_NOTIMPL.
#include <windows.h>

#include <oleacc.h>

#include <string>

namespace {

constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       &bytes[0], static_cast<int>(bytes.size()), nullptr,
                                       nullptr));
    return bytes;
}

// Appends one annotation to the record.
HRESULT Record(HWND hwnd, DWORD idObject, DWORD idChild, const GUID& property,
               const std::wstring& text) {
    wchar_t guid[40] = {};
    char windows[MAX_PATH] = {};
    if (!::StringFromGUID2(property, guid, 40) || !::GetWindowsDirectoryA(windows, MAX_PATH))
        return E_FAIL;
    const std::string line = std::to_string(reinterpret_cast<UINT_PTR>(hwnd)) + " " +
                             std::to_string(static_cast<LONG>(idObject)) + " " +
                             std::to_string(static_cast<LONG>(idChild)) + " " + Utf8(guid) + " " +
                             Utf8(text) + "\n";
    HANDLE file =
        ::CreateFileA((std::string(windows) + "\\annotation-standin.txt").c_str(), FILE_APPEND_DATA,
                      FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return E_FAIL;
    DWORD written = 0;
    const BOOL wrote =
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
    return wrote && written == line.size() ? S_OK : E_FAIL;
}

class Services final : public IAccPropServices {
public:
    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != kIAccPropServices)
            return E_NOINTERFACE;
        *object = static_cast<IAccPropServices*>(this);
        AddRef();
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return ::InterlockedIncrement(&m_references); }
    ULONG WINAPI Release() override {
        const LONG left = ::InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD idObject, DWORD idChild, MSAAPROPID idProp,
                                  LPCWSTR str) override {
        if (!str || !::IsWindow(hwnd) ||
            std::wstring(str).find_first_of(L"\r\n") != std::wstring::npos)
            return E_INVALIDARG;
        return Record(hwnd, idObject, idChild, idProp, str);
    }

    HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                 AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                     AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHwndProps(HWND, DWORD, DWORD, const MSAAPROPID*, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                      AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override {
        return E_NOTIMPL;
    }

private:
    LONG m_references = 1;
};

class Factory : public IClassFactory {
public:
    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Services* services = new Services;
        const HRESULT found = services->QueryInterface(iid, object);
        services->Release();
        return found;
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != kAccPropServices)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

// The factory is static and the objects count for nothing: the DLL stays while the process runs.
extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return S_FALSE;
}
