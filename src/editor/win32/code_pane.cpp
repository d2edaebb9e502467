#include "editor/win32/code_pane.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <string>

#include "common/win32/ansi.h"
#include "common/win32/files.h"
#include "common/win32/message_box.h"
#include "common/win32/system_error.h"
#include "common/text_decoding.h"
#include "editor/win32/editor_component.h"
#include "editor/win32/file_drop.h"
#include "editor/win32/pane_search.h"

namespace dllscope {
namespace {

std::string Utf8(const std::wstring& text) { return Encode(CP_UTF8, text); }

std::wstring FromUtf8(const char* data, std::size_t size) { return Decode(CP_UTF8, data, size); }

}  // namespace

CodePane::CodePane(HWND parent, int id, const RECT& bounds, int dpi)
    : hwnd_(EditorComponent::Create(parent, id, bounds)), component_(hwnd_) {
    (void)dpi;  // the control sizes its font in points for the screen's DPI itself
    component_.ShowAsHtml();
    search_ = std::make_unique<PaneSearch>(
        component_, [this](const std::wstring& file) { ReplaceWithFile(file); });
    SetWindowSubclass(hwnd_, Utf16Messages, 0, reinterpret_cast<DWORD_PTR>(this));
}

CodePane::~CodePane() {
    if (IsWindow(hwnd_)) {
        RemoveWindowSubclass(hwnd_, Utf16Messages, 0);
        DestroyWindow(hwnd_);
    }
}

std::wstring CodePane::Range(TextPosition from, TextPosition to) const {
    const std::string bytes = component_.Range(from, to);
    return FromUtf8(bytes.data(), bytes.size());
}

std::wstring CodePane::Text() { return Range(0, component_.Length()); }

std::wstring CodePane::WorkText() {
    const TextPosition from = component_.SelectionStart(), to = component_.SelectionEnd();
    return from == to ? Text() : Range(from, to);
}

void CodePane::SetWorkText(const std::wstring& text) {
    // Kept for undo: Ctrl+Z brings back the text a plugin replaced.
    const std::string bytes = Utf8(text);
    const TextPosition from = component_.SelectionStart(), to = component_.SelectionEnd();
    const bool whole = from == to;
    component_.BeginUndoStep();  // one step of undo for the whole replacement
    component_.Replace(whole ? 0 : from, whole ? component_.Length() : to, bytes);
    component_.EndUndoStep();
    // A replaced selection: select what was written, so that the next read
    // returns it; the whole text: no selection.
    const TextPosition start = whole ? 0 : from;
    component_.Select(start, whole ? 0 : start + static_cast<TextPosition>(bytes.size()));
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
    component_.Reset(Utf8(text));
    component_.GoTo(0);
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
    component_.BeginUndoStep();
    component_.Replace(0, component_.Length(), Utf8(text));
    component_.EndUndoStep();
    component_.GoTo(0);
    written_ = true;
}

std::wstring CodePane::SelectedText() const {
    return Range(component_.SelectionStart(), component_.SelectionEnd());
}

void CodePane::RunCommand(std::int32_t command, EditorPane&) {
    if (command == kSelectAllCommand) component_.SelectAll();
}

void CodePane::SetFocus() { ::SetFocus(hwnd_); }

void CodePane::MarkChanged() { written_ = true; }

std::string CodePane::Utf8Text() const { return component_.Text(); }

bool CodePane::TakeChanged() {
    const bool changed = written_ || component_.Modified();
    component_.SetSavePoint();
    written_ = false;
    return changed;
}

namespace {

// EM_SETSEL and EM_EXSETSEL, with UTF-16 offsets.
LRESULT SetSelection(EditorComponent& c, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto position = [&](LONG offset) -> TextPosition {  // UTF-16 offset -> byte position
        const TextPosition length = c.Length();
        if (offset < 0 || offset >= c.CodeUnitsBefore(length)) return length;
        return c.PositionAfterCodeUnits(offset);
    };
    LONG from = static_cast<LONG>(wParam), to = static_cast<LONG>(lParam);
    if (msg == EM_EXSETSEL) {
        const auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
        if (!range) return 0;
        from = range->cpMin;
        to = range->cpMax;
    }
    if (from == -1) {  // no selection, the caret where it is
        c.Select(c.Caret(), c.Caret());
    } else {
        c.Select(position(from), to == -1 ? c.Length() : position(to));
    }
    return msg == EM_EXSETSEL ? c.CodeUnitsBefore(c.SelectionEnd()) : 0;
}

}  // namespace

// The edit control's text messages in UTF-16 (Scintilla takes the text of
// WM_SETTEXT and EM_REPLACESEL as bytes, and counts positions in bytes).
LRESULT CALLBACK CodePane::Utf16Messages(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self) {
    auto* pane = reinterpret_cast<CodePane*>(self);
    EditorComponent& c = pane->component_;
    const auto units = [&](TextPosition position) { return c.CodeUnitsBefore(position); };
    if (pane->search_->OnMessage(msg, lParam)) return 0;
    switch (msg) {
        case WM_KEYDOWN:
            if (pane->search_->OnKey(wParam, pane->takesFiles_)) return 0;
            return DefSubclassProc(hwnd, msg, wParam, lParam);
        case WM_SETTEXT: {
            const std::string bytes =
                lParam ? Utf8(reinterpret_cast<const wchar_t*>(lParam)) : std::string();
            c.SetText(bytes);
            return TRUE;
        }
        case EM_REPLACESEL: {
            const std::string bytes =
                lParam ? Utf8(reinterpret_cast<const wchar_t*>(lParam)) : std::string();
            c.ReplaceSelection(bytes);
            return 0;
        }
        case EM_GETSEL: {
            const LONG from = units(c.SelectionStart()), to = units(c.SelectionEnd());
            if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(from);
            if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(to);
            return (from > 0xFFFF || to > 0xFFFF) ? -1 : MAKELRESULT(from, to);
        }
        case EM_EXGETSEL: {
            auto* range = reinterpret_cast<CHARRANGE*>(lParam);
            if (range) {
                range->cpMin = units(c.SelectionStart());
                range->cpMax = units(c.SelectionEnd());
            }
            return 0;
        }
        case EM_SETSEL:
        case EM_EXSETSEL:
            return SetSelection(c, msg, wParam, lParam);
        case EM_UNDO:
            c.Undo();
            return TRUE;
        case EM_CANUNDO:
            return c.CanUndo() ? TRUE : FALSE;
        default:
            return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace dllscope
