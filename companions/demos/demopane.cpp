// Demo form plugin for "DLL-Wrapper - Form" (the bridge's PluginWrappForm):
// a small modal window in which the user sees and edits the text, then
// takes it over ("Übernehmen") or cancels ("Abbrechen", the text unchanged).
#include <string>
#include <vector>

#include "text_helpers.h"
#include "tagsmith_plugin.h"

namespace {

constexpr WORD kEditId = 100;

// A dialog template built in memory: a multi-line edit field and two buttons.
class DialogTemplate {
public:
    DialogTemplate() {
        Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Dword(0);
        Word(3);  // controls
        Short(0), Short(0), Short(300), Short(180);
        Word(0), Word(0);  // no menu, standard class
        Text(L"Demo-Formular: Text bearbeiten");
        Word(8), Text(L"MS Shell Dlg");
        Item(kEditId, 0x0081, WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
             7, 7, 286, 144, L"");
        Item(IDOK, 0x0080, BS_DEFPUSHBUTTON | WS_TABSTOP, 176, 158, 56, 14, L"Übernehmen");
        Item(IDCANCEL, 0x0080, BS_PUSHBUTTON | WS_TABSTOP, 237, 158, 56, 14, L"Abbrechen");
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(WORD w) { words_.push_back(w); }
    void Short(short s) { words_.push_back(static_cast<WORD>(s)); }
    void Dword(DWORD d) { Word(LOWORD(d)), Word(HIWORD(d)); }
    void Text(const wchar_t* s) {
        for (; *s; ++s) Word(*s);
        Word(0);
    }
    void Item(WORD id, WORD atom, DWORD style, short x, short y, short cx, short cy, const wchar_t* text) {
        if (words_.size() % 2) Word(0);  // DWORD alignment
        Dword(style | WS_CHILD | WS_VISIBLE), Dword(0);
        Short(x), Short(y), Short(cx), Short(cy), Word(id);
        Word(0xFFFF), Word(atom), Text(text), Word(0);
    }
    std::vector<WORD> words_;
};

struct Exchange {
    std::wstring text;
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetDlgItemTextW(dialog, kEditId, reinterpret_cast<Exchange*>(lParam)->text.c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                auto* exchange = reinterpret_cast<Exchange*>(GetWindowLongPtrW(dialog, DWLP_USER));
                const HWND edit = GetDlgItem(dialog, kEditId);
                std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
                text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
                exchange->text = text;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

HINSTANCE self = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    if (reason == DLL_PROCESS_DETACH && !reserved) TsReleaseRuntime();
    return TRUE;
}

TS_EXPORT short WINAPI TsBackvalue() { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName() { return "Demo-Formular"; }
TS_EXPORT const char* WINAPI TsDescription() {
    return "Zeigt den Text in einem kleinen Fenster zum Bearbeiten; Abbrechen laesst ihn, wie er war.";
}

TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    Exchange exchange{AnsiToWide(input)};
    const DialogTemplate dialog;
    DialogBoxIndirectParamW(self, dialog.Get(), GetActiveWindow(), DialogProc,
                            reinterpret_cast<LPARAM>(&exchange));
    const std::string result = WideTo(CP_ACP, exchange.text);  // unchanged unless taken over
    return TsResult(result.data(), static_cast<unsigned>(result.size()));
}
