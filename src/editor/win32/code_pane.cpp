#include "editor/win32/code_pane.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <string>

#include <ILexer.h>
#include <LexerModule.h>
#include <SciLexer.h>
#include <Scintilla.h>

#include "common/win32/ansi.h"
#include "common/win32/files.h"
#include "common/win32/message_box.h"
#include "common/win32/system_error.h"
#include "common/text_decoding.h"
#include "editor/win32/file_drop.h"
#include "editor/win32/pane_search.h"

extern Lexilla::LexerModule lmHTML;  // the HTML lexer ("hypertext"), linked alone

namespace dllscope {
namespace {

constexpr char kElements[] =
    "a abbr address area article aside audio b base bdi bdo blockquote body br button canvas "
    "caption cite "
    "code col colgroup data datalist dd del details dfn dialog div dl dt em embed fieldset "
    "figcaption figure "
    "footer form h1 h2 h3 h4 h5 h6 head header hr html i iframe img input ins kbd label legend li "
    "link main "
    "map mark meta meter nav noscript object ol optgroup option output p param picture pre "
    "progress q rp rt "
    "ruby s samp script section select small source span strong style sub summary sup table tbody "
    "td "
    "template textarea tfoot th thead time title tr track u ul var video wbr "
    "accept action alt async charset checked class cols colspan content controls data defer dir "
    "disabled "
    "download for height hidden href hreflang id lang list max maxlength media method min multiple "
    "name "
    "pattern placeholder readonly rel required rows rowspan selected size span src srcset start "
    "step style "
    "tabindex target title type value width";
constexpr char kScriptWords[] =
    "break case catch class const continue debugger default delete do else export extends false "
    "finally for "
    "function if import in instanceof let new null return super switch this throw true try typeof "
    "var void "
    "while with yield";

std::string Utf8(const std::wstring& text) { return Encode(CP_UTF8, text); }

std::wstring FromUtf8(const char* data, std::size_t size) { return Decode(CP_UTF8, data, size); }

void Style(HWND w, int style, COLORREF fore, bool bold = false) {
    SendMessageW(w, SCI_STYLESETFORE, static_cast<WPARAM>(style), fore);
    if (bold) SendMessageW(w, SCI_STYLESETBOLD, static_cast<WPARAM>(style), 1);
}

}  // namespace

CodePane::CodePane(HWND parent, int id, const RECT& bounds, int dpi) {
    static const int registered = Scintilla_RegisterClasses(GetModuleHandleW(nullptr));
    (void)registered;
    (void)dpi;  // the control sizes its font in points for the screen's DPI itself
    hwnd_ = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"Scintilla", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL, bounds.left,
        bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    Call(SCI_SETCODEPAGE, SC_CP_UTF8);
    Call(SCI_SETEOLMODE, SC_EOL_CRLF);  // a typed Enter: CR LF
    Call(SCI_SETPASTECONVERTENDINGS, 0);
    Call(SCI_STYLESETFONT, STYLE_DEFAULT, reinterpret_cast<LPARAM>("Courier New"));
    Call(SCI_STYLESETSIZEFRACTIONAL, STYLE_DEFAULT, 825);  // 8.25 points: 11 pixels at 96 DPI
    Call(SCI_STYLECLEARALL);
    Call(SCI_SETILEXER, 0, reinterpret_cast<LPARAM>(lmHTML.Create()));
    Call(SCI_SETKEYWORDS, 0, reinterpret_cast<LPARAM>(kElements));
    Call(SCI_SETKEYWORDS, 1, reinterpret_cast<LPARAM>(kScriptWords));
    const COLORREF tag = RGB(0, 0, 160), attribute = RGB(160, 0, 0), string = RGB(128, 0, 128),
                   comment = RGB(0, 128, 0), entity = RGB(176, 96, 0), script = RGB(0, 96, 128),
                   keyword = RGB(0, 0, 255);
    for (const int s : {SCE_H_TAG, SCE_H_TAGUNKNOWN, SCE_H_TAGEND}) Style(hwnd_, s, tag, true);
    for (const int s : {SCE_H_ATTRIBUTE, SCE_H_ATTRIBUTEUNKNOWN}) Style(hwnd_, s, attribute);
    for (const int s : {SCE_H_DOUBLESTRING, SCE_H_SINGLESTRING, SCE_H_VALUE, SCE_H_NUMBER})
        Style(hwnd_, s, string);
    Style(hwnd_, SCE_H_COMMENT, comment);
    Style(hwnd_, SCE_H_ENTITY, entity);
    for (int s = SCE_HJ_START; s <= SCE_HJ_REGEX; ++s) Style(hwnd_, s, script);
    Style(hwnd_, SCE_HJ_KEYWORD, keyword, true);
    for (const int s : {SCE_HJ_COMMENT, SCE_HJ_COMMENTLINE, SCE_HJ_COMMENTDOC})
        Style(hwnd_, s, comment);
    for (const int s : {SCE_HJ_DOUBLESTRING, SCE_HJ_SINGLESTRING}) Style(hwnd_, s, string);
    Style(hwnd_, SCE_H_CDATA, RGB(96, 96, 96));  // the inside of <style> blocks
    Call(SCI_SETMARGINTYPEN, 0, SC_MARGIN_NUMBER);
    Call(SCI_SETMARGINWIDTHN, 0,
         Call(SCI_TEXTWIDTH, STYLE_LINENUMBER, reinterpret_cast<LPARAM>("_99999")));
    Call(SCI_SETMARGINWIDTHN, 1, 0);
    search_ = std::make_unique<PaneSearch>(*this);
    SetWindowSubclass(hwnd_, Utf16Messages, 0, reinterpret_cast<DWORD_PTR>(this));
}

CodePane::~CodePane() {
    if (IsWindow(hwnd_)) {
        RemoveWindowSubclass(hwnd_, Utf16Messages, 0);
        DestroyWindow(hwnd_);
    }
}

LRESULT CodePane::Call(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageW(hwnd_, message, wParam, lParam);
}

std::wstring CodePane::Range(LRESULT from, LRESULT to) const {
    const char* text = reinterpret_cast<const char*>(Call(SCI_GETRANGEPOINTER, from, to - from));
    return text ? FromUtf8(text, static_cast<std::size_t>(to - from)) : std::wstring();
}

std::wstring CodePane::Text() { return Range(0, Call(SCI_GETLENGTH)); }

std::wstring CodePane::WorkText() {
    const LRESULT from = Call(SCI_GETSELECTIONSTART), to = Call(SCI_GETSELECTIONEND);
    return from == to ? Text() : Range(from, to);
}

void CodePane::SetWorkText(const std::wstring& text) {
    // Kept for undo: Ctrl+Z brings back the text a plugin replaced.
    const std::string bytes = Utf8(text);
    const LRESULT from = Call(SCI_GETSELECTIONSTART), to = Call(SCI_GETSELECTIONEND);
    const bool whole = from == to;
    Call(SCI_BEGINUNDOACTION);  // one step of undo for the whole replacement
    Call(SCI_SETTARGETRANGE, whole ? 0 : from, whole ? Call(SCI_GETLENGTH) : to);
    Call(SCI_REPLACETARGET, bytes.size(), reinterpret_cast<LPARAM>(bytes.data()));
    Call(SCI_ENDUNDOACTION);
    // A replaced selection: select what was written, so that the next read
    // returns it; the whole text: no selection.
    const LRESULT start = whole ? 0 : from;
    Call(SCI_SETSEL, start, whole ? 0 : start + static_cast<LRESULT>(bytes.size()));
    written_ = true;
}

// A file's text as the panes read files, or why it cannot be read.
static bool ReadFileText(const std::wstring& fileName, std::wstring& text, std::wstring& problem) {
    if (fileName.empty()) {
        problem = L"Es wurde kein Dateiname angegeben; es gibt nichts anzuzeigen.";
    } else if (const DWORD a = GetFileAttributesW(fileName.c_str());
               a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = L"\u201E" + fileName + L"\u201C ist ein Ordner, keine Datei.";
    } else {
        std::string bytes;
        const DWORD error = ReadWholeFile(fileName, bytes);
        if (error != ERROR_SUCCESS) {
            problem = L"Die Datei \u201E" + fileName + L"\u201C kann nicht gelesen werden:\n" +
                      SystemErrorText(error) + L".";
            return false;
        }
        text = DecodeFileText(bytes, FromAnsi);
        return true;
    }
    return false;
}

void CodePane::LoadFile(std::wstring& fileName) {
    std::wstring text, problem;
    ReadFileText(fileName, text, problem);
    const std::string bytes = Utf8(text);
    Call(SCI_CLEARALL);
    Call(SCI_APPENDTEXT, bytes.size(), reinterpret_cast<LPARAM>(bytes.data()));
    Call(SCI_EMPTYUNDOBUFFER);
    Call(SCI_GOTOPOS, 0);
    written_ = true;
    if (!problem.empty()) ShowProblem(problem);
}

void CodePane::ShowProblem(const std::wstring& problem) const {
    const HWND window = GetAncestor(hwnd_, GA_ROOT);
    // Form2 reports while it loads, before it is shown: a box owned by a
    // hidden window would leave Form1 open to input while the run command
    // still holds the bridge and the plugin. Task-modal, without an owner,
    // the box keeps every window of the program from input until answered.
    if (IsWindowVisible(window)) {
        ShowMessageBox(window, problem, MB_ICONERROR);
    } else {
        ShowMessageBox(nullptr, problem, MB_ICONERROR | MB_TASKMODAL);
    }
}

void CodePane::TakeFiles() {
    takesFiles_ = true;
    FileDropTarget::Install(hwnd_, [this](const std::wstring& file) { ReplaceWithFile(file); });
}

void CodePane::ReplaceWithFile(const std::wstring& fileName) {
    std::wstring text, problem;
    if (!ReadFileText(fileName, text, problem)) {
        ShowProblem(problem);
        return;
    }
    ReplaceAll(text);
}

void CodePane::ReplaceAll(const std::wstring& text) {
    const std::string bytes = Utf8(text);
    Call(SCI_BEGINUNDOACTION);
    Call(SCI_SETTARGETRANGE, 0, Call(SCI_GETLENGTH));
    Call(SCI_REPLACETARGET, bytes.size(), reinterpret_cast<LPARAM>(bytes.data()));
    Call(SCI_ENDUNDOACTION);
    Call(SCI_GOTOPOS, 0);
    written_ = true;
}

std::wstring CodePane::SelectedText() const {
    const LRESULT from = Call(SCI_GETSELECTIONSTART), to = Call(SCI_GETSELECTIONEND);
    return Range(from, to);
}

void CodePane::RunCommand(std::int32_t command, EditorPane&) {
    if (command == kSelectAllCommand) Call(SCI_SELECTALL);
}

void CodePane::SetFocus() { ::SetFocus(hwnd_); }

void CodePane::MarkChanged() { written_ = true; }

std::string CodePane::Utf8Text() const {
    const auto* text = reinterpret_cast<const char*>(Call(SCI_GETCHARACTERPOINTER));
    const auto length = static_cast<std::size_t>(Call(SCI_GETLENGTH));
    return text ? std::string(text, length) : std::string();
}

bool CodePane::TakeChanged() {
    const bool changed = written_ || Call(SCI_GETMODIFY) != 0;
    Call(SCI_SETSAVEPOINT);
    written_ = false;
    return changed;
}

// The edit control's text messages in UTF-16 (Scintilla takes the text of
// WM_SETTEXT and EM_REPLACESEL as bytes, and counts positions in bytes).
LRESULT CALLBACK CodePane::Utf16Messages(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self) {
    const auto* pane = reinterpret_cast<CodePane*>(self);
    const auto units = [&](LRESULT position) {  // byte position -> UTF-16 offset
        return static_cast<LONG>(pane->Call(SCI_COUNTCODEUNITS, 0, position));
    };
    const auto position = [&](LONG offset) -> LRESULT {  // UTF-16 offset -> byte position
        const LRESULT length = pane->Call(SCI_GETLENGTH);
        if (offset < 0 || offset >= units(length)) return length;
        return pane->Call(SCI_POSITIONRELATIVECODEUNITS, 0, offset);
    };
    if (pane->search_->OnMessage(msg, lParam)) return 0;
    switch (msg) {
        case WM_KEYDOWN:
            if (pane->search_->OnKey(wParam, pane->takesFiles_)) return 0;
            return DefSubclassProc(hwnd, msg, wParam, lParam);
        case WM_SETTEXT: {
            const std::string bytes =
                lParam ? Utf8(reinterpret_cast<const wchar_t*>(lParam)) : std::string();
            pane->Call(SCI_SETTEXT, 0, reinterpret_cast<LPARAM>(bytes.c_str()));
            return TRUE;
        }
        case EM_REPLACESEL: {
            const std::string bytes =
                lParam ? Utf8(reinterpret_cast<const wchar_t*>(lParam)) : std::string();
            pane->Call(SCI_REPLACESEL, 0, reinterpret_cast<LPARAM>(bytes.c_str()));
            return 0;
        }
        case EM_GETSEL: {
            const LONG from = units(pane->Call(SCI_GETSELECTIONSTART)),
                       to = units(pane->Call(SCI_GETSELECTIONEND));
            if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(from);
            if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(to);
            return (from > 0xFFFF || to > 0xFFFF) ? -1 : MAKELRESULT(from, to);
        }
        case EM_EXGETSEL: {
            auto* range = reinterpret_cast<CHARRANGE*>(lParam);
            if (range) {
                range->cpMin = units(pane->Call(SCI_GETSELECTIONSTART));
                range->cpMax = units(pane->Call(SCI_GETSELECTIONEND));
            }
            return 0;
        }
        case EM_SETSEL:
        case EM_EXSETSEL: {
            LONG from = static_cast<LONG>(wParam), to = static_cast<LONG>(lParam);
            if (msg == EM_EXSETSEL) {
                const auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
                if (!range) return 0;
                from = range->cpMin;
                to = range->cpMax;
            }
            if (from == -1) {  // no selection, the caret where it is
                const LRESULT caret = pane->Call(SCI_GETCURRENTPOS);
                pane->Call(SCI_SETSEL, caret, caret);
            } else {
                pane->Call(SCI_SETSEL, position(from),
                           to == -1 ? pane->Call(SCI_GETLENGTH) : position(to));
            }
            return msg == EM_EXSETSEL ? units(pane->Call(SCI_GETSELECTIONEND)) : 0;
        }
        case EM_UNDO:
            pane->Call(SCI_UNDO);
            return TRUE;
        case EM_CANUNDO:
            return pane->Call(SCI_CANUNDO);
        default:
            return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace dllscope
