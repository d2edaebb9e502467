#include "editor/win32/editor_component.h"

#include <ILexer.h>
#include <LexerModule.h>
#include <SciLexer.h>
#include <Scintilla.h>

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

}  // namespace

HWND EditorComponent::Create(HWND parent, int id, const RECT& bounds) {
    static const int registered = Scintilla_RegisterClasses(GetModuleHandleW(nullptr));
    (void)registered;
    return CreateWindowExW(
        WS_EX_CLIENTEDGE, L"Scintilla", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL, bounds.left,
        bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

LRESULT EditorComponent::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageW(hwnd_, message, wParam, lParam);
}

void EditorComponent::ShowAsHtml() {
    Send(SCI_SETCODEPAGE, SC_CP_UTF8);
    Send(SCI_SETEOLMODE, SC_EOL_CRLF);  // a typed Enter: CR LF
    Send(SCI_SETPASTECONVERTENDINGS, 0);
    Send(SCI_STYLESETFONT, STYLE_DEFAULT, reinterpret_cast<LPARAM>("Courier New"));
    Send(SCI_STYLESETSIZEFRACTIONAL, STYLE_DEFAULT, 825);  // 8.25 points: 11 pixels at 96 DPI
    Send(SCI_STYLECLEARALL);
    Send(SCI_SETILEXER, 0, reinterpret_cast<LPARAM>(lmHTML.Create()));
    Send(SCI_SETKEYWORDS, 0, reinterpret_cast<LPARAM>(kElements));
    Send(SCI_SETKEYWORDS, 1, reinterpret_cast<LPARAM>(kScriptWords));
    const auto style = [this](int s, COLORREF fore, bool bold = false) {
        Send(SCI_STYLESETFORE, static_cast<WPARAM>(s), fore);
        if (bold) Send(SCI_STYLESETBOLD, static_cast<WPARAM>(s), 1);
    };
    const COLORREF tag = RGB(0, 0, 160), attribute = RGB(160, 0, 0), string = RGB(128, 0, 128),
                   comment = RGB(0, 128, 0), entity = RGB(176, 96, 0), script = RGB(0, 96, 128),
                   keyword = RGB(0, 0, 255);
    for (const int s : {SCE_H_TAG, SCE_H_TAGUNKNOWN, SCE_H_TAGEND}) style(s, tag, true);
    for (const int s : {SCE_H_ATTRIBUTE, SCE_H_ATTRIBUTEUNKNOWN}) style(s, attribute);
    for (const int s : {SCE_H_DOUBLESTRING, SCE_H_SINGLESTRING, SCE_H_VALUE, SCE_H_NUMBER})
        style(s, string);
    style(SCE_H_COMMENT, comment);
    style(SCE_H_ENTITY, entity);
    for (int s = SCE_HJ_START; s <= SCE_HJ_REGEX; ++s) style(s, script);
    style(SCE_HJ_KEYWORD, keyword, true);
    for (const int s : {SCE_HJ_COMMENT, SCE_HJ_COMMENTLINE, SCE_HJ_COMMENTDOC}) style(s, comment);
    for (const int s : {SCE_HJ_DOUBLESTRING, SCE_HJ_SINGLESTRING}) style(s, string);
    style(SCE_H_CDATA, RGB(96, 96, 96));  // the inside of <style> blocks
    Send(SCI_SETMARGINTYPEN, 0, SC_MARGIN_NUMBER);
    Send(SCI_SETMARGINWIDTHN, 0,
         Send(SCI_TEXTWIDTH, STYLE_LINENUMBER, reinterpret_cast<LPARAM>("_99999")));
    Send(SCI_SETMARGINWIDTHN, 1, 0);
}

TextPosition EditorComponent::Length() const { return Send(SCI_GETLENGTH); }

std::string EditorComponent::Text() const {
    const auto* text = reinterpret_cast<const char*>(Send(SCI_GETCHARACTERPOINTER));
    return text ? std::string(text, static_cast<std::size_t>(Length())) : std::string();
}

std::string EditorComponent::Range(TextPosition from, TextPosition to) const {
    const auto* text = reinterpret_cast<const char*>(Send(SCI_GETRANGEPOINTER, from, to - from));
    return text ? std::string(text, static_cast<std::size_t>(to - from)) : std::string();
}

void EditorComponent::SetText(const std::string& utf8) {
    Send(SCI_SETTEXT, 0, reinterpret_cast<LPARAM>(utf8.c_str()));
}

void EditorComponent::Replace(TextPosition from, TextPosition to, const std::string& utf8) {
    Send(SCI_SETTARGETRANGE, from, to);
    Send(SCI_REPLACETARGET, utf8.size(), reinterpret_cast<LPARAM>(utf8.data()));
}

void EditorComponent::ReplaceSelection(const std::string& utf8) {
    Send(SCI_REPLACESEL, 0, reinterpret_cast<LPARAM>(utf8.c_str()));
}

void EditorComponent::Reset(const std::string& utf8) {
    Send(SCI_CLEARALL);
    Send(SCI_APPENDTEXT, utf8.size(), reinterpret_cast<LPARAM>(utf8.data()));
    Send(SCI_EMPTYUNDOBUFFER);
}

void EditorComponent::SetReadOnly(bool readOnly) { Send(SCI_SETREADONLY, readOnly ? 1 : 0); }

void EditorComponent::BeginUndoStep() { Send(SCI_BEGINUNDOACTION); }
void EditorComponent::EndUndoStep() { Send(SCI_ENDUNDOACTION); }
void EditorComponent::Undo() { Send(SCI_UNDO); }
bool EditorComponent::CanUndo() const { return Send(SCI_CANUNDO) != 0; }
bool EditorComponent::Modified() const { return Send(SCI_GETMODIFY) != 0; }
void EditorComponent::SetSavePoint() { Send(SCI_SETSAVEPOINT); }

TextPosition EditorComponent::SelectionStart() const { return Send(SCI_GETSELECTIONSTART); }
TextPosition EditorComponent::SelectionEnd() const { return Send(SCI_GETSELECTIONEND); }
TextPosition EditorComponent::Caret() const { return Send(SCI_GETCURRENTPOS); }
void EditorComponent::Select(TextPosition from, TextPosition to) { Send(SCI_SETSEL, from, to); }
void EditorComponent::SelectAll() { Send(SCI_SELECTALL); }
void EditorComponent::GoTo(TextPosition position) { Send(SCI_GOTOPOS, position); }
void EditorComponent::ScrollToCaret() { Send(SCI_SCROLLCARET); }

LONG EditorComponent::CodeUnitsBefore(TextPosition position) const {
    return static_cast<LONG>(Send(SCI_COUNTCODEUNITS, 0, position));
}

TextPosition EditorComponent::PositionAfterCodeUnits(LONG units) const {
    return Send(SCI_POSITIONRELATIVECODEUNITS, 0, units);
}

std::size_t EditorComponent::LineOf(TextPosition position) const {
    return static_cast<std::size_t>(Send(SCI_LINEFROMPOSITION, position));
}

void EditorComponent::GoToLineCentred(std::size_t line) {
    Send(SCI_GOTOLINE, line);
    Send(SCI_VERTICALCENTRECARET);
}

void EditorComponent::DefineMarker(int marker, MarkerShape shape, COLORREF background) {
    const int symbol = shape == MarkerShape::LineBackground ? SC_MARK_BACKGROUND
                       : shape == MarkerShape::Minus        ? SC_MARK_MINUS
                                                            : SC_MARK_PLUS;
    Send(SCI_MARKERDEFINE, static_cast<WPARAM>(marker), symbol);
    if (shape == MarkerShape::LineBackground)
        Send(SCI_MARKERSETBACK, static_cast<WPARAM>(marker), static_cast<LPARAM>(background));
}

void EditorComponent::AddMarker(std::size_t line, int marker) { Send(SCI_MARKERADD, line, marker); }

void EditorComponent::DeleteAllMarkers() { Send(SCI_MARKERDELETEALL, static_cast<WPARAM>(-1)); }

void EditorComponent::ShowSymbolMargin(int margin, int width, int markerMask) {
    Send(SCI_SETMARGINTYPEN, static_cast<WPARAM>(margin), SC_MARGIN_SYMBOL);
    Send(SCI_SETMARGINWIDTHN, static_cast<WPARAM>(margin), width);
    Send(SCI_SETMARGINMASKN, static_cast<WPARAM>(margin), markerMask);
}

bool EditorComponent::Find(const std::string& utf8, bool matchCase, bool wholeWord,
                           TextPosition from, TextPosition to, TextPosition& foundFrom,
                           TextPosition& foundTo) {
    Send(SCI_SETSEARCHFLAGS, static_cast<WPARAM>((matchCase ? SCFIND_MATCHCASE : 0) |
                                                 (wholeWord ? SCFIND_WHOLEWORD : 0)));
    Send(SCI_SETTARGETRANGE, from, to);  // a start beyond the end searches upwards
    if (Send(SCI_SEARCHINTARGET, utf8.size(), reinterpret_cast<LPARAM>(utf8.data())) < 0)
        return false;
    foundFrom = Send(SCI_GETTARGETSTART);
    foundTo = Send(SCI_GETTARGETEND);
    return true;
}

}  // namespace dllscope
