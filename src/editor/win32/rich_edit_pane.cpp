#include "editor/win32/rich_edit_pane.h"

#include <richedit.h>

#include <string>

#include "common/win32/message_box.h"
#include "common/win32/system_error.h"
#include "editor/text_decoding.h"
#include "common/win32/ansi.h"

namespace dllscope {
namespace {

constexpr UINT kUtf16 = 1200;

void EnsureRichEditLoaded() {
    static const HMODULE module = LoadLibraryA("msftedit.dll");
    (void)module;
}

// The whole file, or an error code.
DWORD ReadWholeFile(const std::wstring& name, std::string& bytes) {
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD error = ERROR_SUCCESS;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        error = GetLastError();
    } else if (static_cast<unsigned long long>(size.QuadPart) > bytes.max_size() / 2) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD chunk = 0;
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            if (!ReadFile(file, bytes.data() + done, want, &chunk, nullptr)) {
                error = GetLastError();
                break;
            }
            if (chunk == 0) break;  // the file became shorter
            done += chunk;
        }
        bytes.resize(done);
    }
    CloseHandle(file);
    return error;
}

}  // namespace

RichEditPane::RichEditPane(HWND parent, int id, const RECT& bounds, int dpi) {
    EnsureRichEditLoaded();
    hwnd_ = CreateWindowExW(
        WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL |
            ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | ES_WANTRETURN,
        bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hwnd_, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    SendMessageW(hwnd_, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);  // memory is the only limit
    font_ = CreateFontW(-MulDiv(11, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        FIXED_PITCH | FF_MODERN, L"Courier New");
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

RichEditPane::~RichEditPane() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (font_) DeleteObject(font_);
}

LONG RichEditPane::Length() {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, kUtf16};
    return static_cast<LONG>(
        SendMessageW(hwnd_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

std::wstring RichEditPane::GetText(DWORD flags, LONG units) {
    if (units <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(units) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = flags | GT_USECRLF;
    get.codepage = kUtf16;
    const LRESULT n = SendMessageW(hwnd_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                                   reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

void RichEditPane::SetText(const std::wstring& text, DWORD flags) {
    SETTEXTEX set{flags, kUtf16};
    SendMessageW(hwnd_, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&set),
                 reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(hwnd_, EM_SETMODIFY, TRUE, 0);  // whatever the control makes of it
}

bool RichEditPane::TakeChanged() {
    const bool changed = SendMessageW(hwnd_, EM_GETMODIFY, 0, 0) != 0;
    SendMessageW(hwnd_, EM_SETMODIFY, FALSE, 0);
    return changed;
}

std::wstring RichEditPane::Text() {
    GETTEXTLENGTHEX query{GTL_USECRLF | GTL_NUMCHARS | GTL_PRECISE, kUtf16};
    const auto units = static_cast<LONG>(
        SendMessageW(hwnd_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
    return GetText(GT_DEFAULT, units);
}

std::wstring RichEditPane::WorkText() {
    CHARRANGE sel{};
    SendMessageW(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    if (sel.cpMin == sel.cpMax) return Text();
    // Each line break in the selection may grow to CR LF.
    return GetText(GT_SELECTION, 2 * (sel.cpMax - sel.cpMin));
}

void RichEditPane::SetWorkText(const std::wstring& text) {
    // Kept for undo: Ctrl+Z brings back the text a plugin replaced.
    CHARRANGE sel{};
    SendMessageW(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    if (sel.cpMin == sel.cpMax) {
        SetText(text, ST_KEEPUNDO);
        return;
    }
    // Replace the selection and select what was written, so that the next
    // read returns it.
    const LONG before = Length();
    SetText(text, ST_SELECTION | ST_KEEPUNDO);
    CHARRANGE written{sel.cpMin, sel.cpMin + Length() - before + (sel.cpMax - sel.cpMin)};
    SendMessageW(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&written));
}

void RichEditPane::LoadFile(std::wstring& fileName) {
    std::wstring text, problem;
    if (fileName.empty()) {
        problem = L"Es wurde kein Dateiname angegeben; es gibt nichts anzuzeigen.";
    } else if (const DWORD a = GetFileAttributesW(fileName.c_str());
               a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = L"\u201E" + fileName + L"\u201C ist ein Ordner, keine Datei.";
    } else {
        std::string bytes;
        const DWORD error = ReadWholeFile(fileName, bytes);
        if (error == ERROR_SUCCESS) {
            text = DecodeFileText(bytes, FromAnsi);
        } else {
            problem = L"Die Datei \u201E" + fileName + L"\u201C kann nicht gelesen werden:\n" +
                      SystemErrorText(error) + L".";
        }
    }
    SetText(text, ST_DEFAULT);
    if (problem.empty()) return;
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

void RichEditPane::RunCommand(std::int32_t command, EditorPane&) {
    if (command == kSelectAllCommand) SendMessageW(hwnd_, EM_SETSEL, 0, -1);
}

void RichEditPane::SetFocus() { ::SetFocus(hwnd_); }

}  // namespace dllscope
