// lexdemo.dll: the demo export pbplugin, called directly by "Purebasic".
// pbplugin(VARIANT*) places in the VARIANT it is given a table of the HTML
// element names: an automation object whose default member takes a name
// and gives the element's number (its place in the table, from 1).
#include <cwctype>
#include <string>

#include "dispatch_object.h"
#include "tagsmith_plugin.h"

namespace {

const wchar_t* const kElements[] = {
    L"a", L"abbr", L"address", L"area", L"article", L"aside", L"audio", L"b", L"base", L"bdi",
    L"bdo", L"blockquote", L"body", L"br", L"button", L"canvas", L"caption", L"cite", L"code",
    L"col", L"colgroup", L"data", L"datalist", L"dd", L"del", L"details", L"dfn", L"dialog",
    L"div", L"dl", L"dt", L"em", L"embed", L"fieldset", L"figcaption", L"figure", L"footer",
    L"form", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"head", L"header", L"hr", L"html", L"i",
    L"iframe", L"img", L"input", L"ins", L"kbd", L"label", L"legend", L"li", L"link", L"main",
    L"map", L"mark", L"meta", L"meter", L"nav", L"noscript", L"object", L"ol", L"optgroup",
    L"option", L"output", L"p", L"param", L"picture", L"pre", L"progress", L"q", L"rp", L"rt",
    L"ruby", L"s", L"samp", L"script", L"section", L"select", L"small", L"source", L"span",
    L"strong", L"style", L"sub", L"summary", L"sup", L"table", L"tbody", L"td", L"template",
    L"textarea", L"tfoot", L"th", L"thead", L"time", L"title", L"tr", L"track", L"u", L"ul",
    L"var", L"video", L"wbr"};

class ElementTable final : public DispatchObject<ElementTable> {
public:
    static constexpr const IID& kInterfaceId = IID_IDispatch;
    static constexpr const wchar_t* kMemberName = L"Item";
    static constexpr DISPID kMemberId = DISPID_VALUE;

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT name;
        VariantInit(&name);
        if (FAILED(VariantChangeType(&name, &params->rgvarg[0], 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
        std::wstring key(name.bstrVal ? name.bstrVal : L"");
        VariantClear(&name);
        for (wchar_t& c : key) c = static_cast<wchar_t>(towlower(c));
        for (long i = 0; i < static_cast<long>(sizeof kElements / sizeof kElements[0]); ++i) {
            if (key == kElements[i]) {
                if (result) {
                    VariantInit(result);
                    result->vt = VT_I4;
                    result->lVal = i + 1;
                }
                return S_OK;
            }
        }
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = DISP_E_BADINDEX;
            exception->bstrSource = SysAllocString(L"lexdemo");
            exception->bstrDescription =
                SysAllocString((L"\u201E" + key + L"\u201C ist kein HTML-Element").c_str());
        }
        return DISP_E_EXCEPTION;
    }
};

}  // namespace

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT void WINAPI pbplugin(VARIANT* value) {
    if (!value) return;
    VariantClear(value);
    value->vt = VT_DISPATCH;
    value->pdispVal = new ElementTable;
}
