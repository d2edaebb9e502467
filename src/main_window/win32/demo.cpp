#include "main_window/win32/demo.h"

#include <cwchar>
#include <memory>

#include "common/runtime_error.h"
#include "common/win32/system_error.h"
#include "common/paths.h"
#include "common/win32/ansi.h"
#include "guard/win32/foreign_result.h"
#include "guard/win32/guard.h"

namespace dllscope {

const CLSID kDemoClassId = {
    0xC70AA879, 0x112A, 0x4294, {0x90, 0x96, 0xCF, 0xC5, 0x15, 0x87, 0x73, 0xF3}};
const IID kDemoInterfaceId = {
    0xCA1D2D1C, 0x9E21, 0x45F1, {0xA0, 0x5E, 0x35, 0xDC, 0x6B, 0x6C, 0xB0, 0x35}};

namespace {

// A class of the editor component's own library, and its interface.
const CLSID kEditorObjectClassId = {0xECEDB944, 0xAC41, 0x11D2, {0xAB, 0x20, 0, 0, 0, 0, 0, 0}};
const IID kEditorObjectInterfaceId = {0xECEDB953, 0xAC41, 0x11D2, {0xAB, 0x20, 0, 0, 0, 0, 0, 0}};

// What pbplugin's value and the automation objects run is foreign code too.
const ForeignCall kValueOfPbplugin = ForeignCall::Export(L"Der Wert von", L"pbplugin", L"Invoke");

ForeignCall OfDemoClass(const wchar_t* call, ForeignCallKind kind = ForeignCallKind::Function);

// Releases are guarded as well; a fault in one can only be dropped here,
// since it happens on the way out (the object stays as it is).
template <class Body>
void GuardedOnTheWayOut(Body body) {
    Fault ignored;
    RunGuarded(body, ignored);
}

struct ReleaseUnknown {
    void operator()(IUnknown* p) const {
        GuardedOnTheWayOut([p] { p->Release(); });
    }
};
using UnknownPtr = std::unique_ptr<IUnknown, ReleaseUnknown>;

struct FreeBstr {
    void operator()(OLECHAR* b) const {
        GuardedOnTheWayOut([b] { SysFreeString(b); });
    }
};
using BstrPtr = std::unique_ptr<OLECHAR, FreeBstr>;

struct ClearVariant {
    void operator()(VARIANT* v) const {
        GuardedOnTheWayOut([v] { VariantClear(v); });
    }
};

std::wstring GuidText(const GUID& id) {
    wchar_t text[40];
    StringFromGUID2(id, text, 40);
    return text;
}

std::wstring VariantTypeName(VARTYPE vt) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%04X", static_cast<unsigned>(vt));
    return text;
}

// Asks an object for its default member with one string argument.
VARIANT DefaultMember(IDispatch* object, const std::wstring& index) {
    BstrPtr key(SysAllocStringLen(index.data(), static_cast<UINT>(index.size())));
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = key.get();
    DISPPARAMS params{&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    HRESULT hr = E_FAIL;
    VARIANT* const out = &result;
    EXCEPINFO* const info = &exception;
    CallForeign(kValueOfPbplugin, [&] {
        hr = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                            DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, out, info, nullptr);
    });
    const std::wstring detail = exception.bstrDescription ? exception.bstrDescription : L"";
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) {
        throw RuntimeError(L"Der Wert von \u201Epbplugin\u201C hat kein Element \u201E" + index +
                           L"\u201C: " + (detail.empty() ? HresultText(hr) : detail) + L".");
    }
    return result;
}

VARIANT ArrayElement(SAFEARRAY* array, VARTYPE elementType, const std::wstring& index) {
    wchar_t* end = nullptr;
    const long position = std::wcstol(index.c_str(), &end, 10);
    if (index.empty() || *end != L'\0') {
        throw RuntimeError(L"Der Wert von \u201Epbplugin\u201C ist ein Feld; \u201E" + index +
                           L"\u201C ist keine Zahl, mit der es sich indizieren ließe.");
    }
    if (SafeArrayGetDim(array) != 1) {
        throw RuntimeError(
            L"Der Wert von \u201Epbplugin\u201C ist ein mehrdimensionales Feld; "
            L"ein Index allein reicht nicht.");
    }
    long at = position;
    void* data = nullptr;
    HRESULT hr = SafeArrayPtrOfIndex(array, &at, &data);  // DISP_E_BADINDEX outside its bounds
    VARIANT element;
    VariantInit(&element);
    VARIANT* const to = &element;
    if (SUCCEEDED(hr) && elementType == VT_VARIANT) {
        CallForeign(kValueOfPbplugin, [&] { hr = VariantCopy(to, static_cast<VARIANT*>(data)); });
    } else if (SUCCEEDED(hr)) {
        VARIANT ref;  // the element's own bytes, seen as a VARIANT of its type
        VariantInit(&ref);
        ref.vt = static_cast<VARTYPE>(elementType | VT_BYREF);
        ref.byref = data;
        VARIANT* const from = &ref;
        CallForeign(kValueOfPbplugin, [&] { hr = VariantCopyInd(to, from); });
    }
    if (FAILED(hr)) {
        throw RuntimeError(L"Der Wert von \u201Epbplugin\u201C hat kein Element " + index + L": " +
                           HresultText(hr) + L".");
    }
    return element;
}

ForeignCall OfDemoClass(const wchar_t* call, ForeignCallKind kind) {
    return {L"Die Automatisierungsklasse", GuidText(kDemoClassId), call, kind};
}

}  // namespace

std::int32_t VariantElement(const VARIANT& value, const std::wstring& index) {
    VARIANT element;
    if (value.vt == VT_DISPATCH && value.pdispVal) {
        element = DefaultMember(value.pdispVal, index);
    } else if ((value.vt & VT_ARRAY) && !(value.vt & VT_BYREF) && value.parray) {
        element = ArrayElement(value.parray, static_cast<VARTYPE>(value.vt & VT_TYPEMASK), index);
    } else {
        throw RuntimeError(L"Der Wert von \u201Epbplugin\u201C (Typ " + VariantTypeName(value.vt) +
                           L") lässt sich nicht mit \u201E" + index + L"\u201C indizieren.");
    }
    const std::unique_ptr<VARIANT, ClearVariant> owned(&element);
    VARIANT number;
    VariantInit(&number);
    HRESULT hr = E_FAIL;
    VARIANT* const to = &number;
    VARIANT* const from = &element;
    CallForeign(kValueOfPbplugin, [&] { hr = VariantChangeType(to, from, 0, VT_I4); });
    if (FAILED(hr)) {
        throw RuntimeError(L"Das Element \u201E" + index +
                           L"\u201C von \u201Epbplugin\u201C ist keine "
                           L"32-Bit-Zahl: " +
                           HresultText(hr) + L".");
    }
    return number.lVal;
}

std::wstring Win32DemoExports::plugrun(const std::wstring& text) {
    using Plugrun = BSTR(WINAPI*)(char* text);
    const auto fn = bindings_.Get<Plugrun>(InFolder(folder_, L"comdemo.dll"), "plugrun");
    AnsiArg arg(text);
    char* const a = arg.get();
    BSTR result = nullptr;
    const ForeignCall call = ForeignCall::Export(L"Die Bibliothek", L"comdemo.dll", L"plugrun");
    CallForeign(call, [&] { result = fn(a); });
    return TakeForeignAnsiBstr(call, result);
}

std::int32_t Win32DemoExports::pbpluginElement(const std::wstring& index) {
    using Pbplugin = void(WINAPI*)(VARIANT * value);
    const auto fn = bindings_.Get<Pbplugin>(InFolder(folder_, L"lexdemo.dll"), "pbplugin");
    VARIANT value;
    VariantInit(&value);  // empty: pbplugin puts its value here
    const std::unique_ptr<VARIANT, ClearVariant> owned(&value);
    VARIANT* const out = &value;
    CallForeign(ForeignCall::Export(L"Die Bibliothek", L"lexdemo.dll", L"pbplugin"),
                [&] { fn(out); });
    return VariantElement(value, index);
}

std::wstring Win32Automation::DemoClassFirstMethod(const std::wstring& text) {
    IUnknown* raw = nullptr;
    HRESULT created = E_FAIL;
    void** const made = reinterpret_cast<void**>(&raw);
    // Creating it loads its library, whose entry point runs.
    CallForeign(OfDemoClass(L"CoCreateInstance"), [&] {
        created = CoCreateInstance(kDemoClassId, nullptr, CLSCTX_ALL, kDemoInterfaceId, made);
    });
    if (FAILED(created) || !raw) {
        throw RuntimeError(L"Die Automatisierungsklasse " + GuidText(kDemoClassId) +
                           L" kann nicht erzeugt werden: " + HresultText(created) + L".");
    }
    const UnknownPtr object(raw);
    // The eighth entry of the function table: the first method after
    // IUnknown's three and IDispatch's four.
    using FirstMethod = HRESULT(STDMETHODCALLTYPE*)(IUnknown * self, BSTR * text, BSTR * result);
    const auto method = reinterpret_cast<FirstMethod*>(*reinterpret_cast<void***>(raw))[7];
    BSTR textArg = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    BSTR resultArg = nullptr;
    HRESULT status = E_FAIL;
    BSTR* const in = &textArg;
    BSTR* const out = &resultArg;
    const ForeignCall call = OfDemoClass(L"der ersten Methode", ForeignCallKind::Method);
    CallForeign(call, [&] { status = method(raw, in, out); });
    const BstrPtr ownedText(textArg);  // the method may have replaced the text
    if (FAILED(status)) {
        const BstrPtr ownedResult(resultArg);
        throw RuntimeError(L"Die erste Methode der Automatisierungsklasse " +
                           GuidText(kDemoClassId) + L" meldet einen Fehler: " +
                           HresultText(status) + L".");
    }
    const std::string bytes = TakeForeignBstrBytes(call, resultArg);  // UTF-16, freed
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
}

void Win32Automation::CreateAndReleaseEditorObject() {
    IUnknown* raw = nullptr;
    HRESULT hr = E_FAIL;
    void** const made = reinterpret_cast<void**>(&raw);
    CallForeign(ForeignCall::Export(L"Die Automatisierungsklasse", GuidText(kEditorObjectClassId),
                                    L"CoCreateInstance"),
                [&] {
                    hr = CoCreateInstance(kEditorObjectClassId, nullptr, CLSCTX_ALL,
                                          kEditorObjectInterfaceId, made);
                });
    if (hr == REGDB_E_CLASSNOTREG) return;  // this program's editor has no such class
    if (FAILED(hr) || !raw) {
        throw RuntimeError(L"Das Objekt der Klasse " + GuidText(kEditorObjectClassId) +
                           L" kann nicht erzeugt werden: " + HresultText(hr) + L".");
    }
    UnknownPtr(raw).reset();
}

}  // namespace dllscope
