// actxdemo.dll: the demo automation class of "ActiveX-DLL", an in-process
// COM server. Its dual interface's first own method turns the text into
// HTML paragraphs: blank lines part them, < > & become entities.
// regsvr32 actxdemo.dll registers it for the current user (no administrator
// rights needed) and, where that may be written, for the whole machine.
#include <olectl.h>

#include <string>

#include "dispatch_object.h"
#include "tagsmith_plugin.h"

namespace {

const CLSID kClassId = {0xC70AA879, 0x112A, 0x4294, {0x90, 0x96, 0xCF, 0xC5, 0x15, 0x87, 0x73, 0xF3}};
const IID kDemoInterfaceId = {0xCA1D2D1C, 0x9E21, 0x45F1, {0xA0, 0x5E, 0x35, 0xDC, 0x6B, 0x6C, 0xB0, 0x35}};
constexpr wchar_t kClassKey[] = L"CLSID\\{C70AA879-112A-4294-9096-CFC5158773F3}";

HMODULE self = nullptr;
LONG objects = 0;

std::wstring Paragraphs(const std::wstring& text) {
    std::wstring out, paragraph;
    const auto flush = [&] {
        if (paragraph.empty()) return;
        if (!out.empty()) out += L"\r\n";
        out += L"<p>" + paragraph + L"</p>";
        paragraph.clear();
    };
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find(L'\n', lineStart);
        if (lineEnd == std::wstring::npos) lineEnd = text.size();
        std::wstring line = text.substr(lineStart, lineEnd - lineStart);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.find_first_not_of(L" \t") == std::wstring::npos) {
            flush();
        } else {
            if (!paragraph.empty()) paragraph += L' ';
            for (const wchar_t c : line) {
                if (c == L'<') paragraph += L"&lt;";
                else if (c == L'>') paragraph += L"&gt;";
                else if (c == L'&') paragraph += L"&amp;";
                else paragraph += c;
            }
        }
        lineStart = lineEnd + 1;
    }
    flush();
    return out;
}

// The class: IDispatch and, as the interface's first own method, Paragraphs.
// Final, with a destructor that is not virtual: no entry of the function
// table may come before Paragraphs.
class DemoObject final : public DispatchObject<DemoObject> {
public:
    static constexpr const IID& kInterfaceId = kDemoInterfaceId;
    static constexpr const wchar_t* kMemberName = L"Paragraphs";
    static constexpr DISPID kMemberId = 1;

    DemoObject() { InterlockedIncrement(&objects); }
    ~DemoObject() { InterlockedDecrement(&objects); }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != kMemberId) return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
        VARIANT& text = params->rgvarg[1];  // arguments come last first
        VARIANT& out = params->rgvarg[0];
        if (text.vt != (VT_BSTR | VT_BYREF) || out.vt != (VT_BSTR | VT_BYREF)) return DISP_E_TYPEMISMATCH;
        const HRESULT hr = Paragraphs(text.pbstrVal, out.pbstrVal);
        if (result) VariantInit(result);
        return hr;
    }

    // The first own method: the eighth entry of the function table.
    virtual HRESULT STDMETHODCALLTYPE Paragraphs(BSTR* text, BSTR* result) {
        if (!text || !result) return E_POINTER;
        const std::wstring in = *text ? std::wstring(*text, SysStringLen(*text)) : std::wstring();
        const std::wstring html = ::Paragraphs(in);
        *result = SysAllocStringLen(html.data(), static_cast<UINT>(html.size()));
        return *result ? S_OK : E_OUTOFMEMORY;
    }
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the library
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = new DemoObject;
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&objects);
        else InterlockedDecrement(&objects);
        return S_OK;
    }
};

Factory factory;

bool WriteValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

bool Register(HKEY root, const std::wstring& classes) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    const std::wstring key = classes + kClassKey;
    return WriteValue(root, key, nullptr, L"Dllscope Demo-Automatisierungsklasse") &&
           WriteValue(root, key + L"\\InprocServer32", nullptr, std::wstring(path, n)) &&
           WriteValue(root, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    if (reason == DLL_PROCESS_DETACH && !reserved) TsReleaseRuntime();
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (id != kClassId) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return objects == 0 ? S_OK : S_FALSE;
}

// For the current user always; for the whole machine where it may be
// written (there, Wine looks the class up).
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    const bool user = Register(HKEY_CURRENT_USER, L"Software\\Classes\\");
    Register(HKEY_LOCAL_MACHINE, L"Software\\Classes\\");
    return user ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Classes\\") + kClassKey).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + kClassKey).c_str());
    return S_OK;
}
