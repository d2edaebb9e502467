#include "driver.h"

#include <ole2.h>
#include <shlobj.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "main_window/form1_layout.h"
#include "window_helpers.h"
#include "common/paths.h"

namespace dllscope::e2e {
namespace {

struct FindState {
    DWORD pid;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND w, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    if (testing::IsVisibleWindowOf(w, state->pid, state->cls)) {
        state->found = w;
        return FALSE;
    }
    return TRUE;
}

void SendMouse(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

// What the icon of a message box shows: nothing, the yellow warning sign or
// the red error sign.
Icon ClassifyIcon(HWND iconControl) {
    RECT r;
    GetWindowRect(iconControl, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const HDC screen = GetDC(nullptr);
    const HDC mem = CreateCompatibleDC(screen);
    const HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    int yellow = 0, red = 0, drawn = 0;
    const COLORREF background = GetPixel(mem, 0, 0);  // icons leave their corners clear
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const COLORREF c = GetPixel(mem, x, y);
            if (c != background) ++drawn;
            const int R = GetRValue(c), G = GetGValue(c), B = GetBValue(c);
            if (R > 200 && G > 160 && B < 100) ++yellow;
            if (R > 160 && G < 90 && B < 90) ++red;
        }
    }
    DeleteDC(mem);
    DeleteObject(bmp);
    ReleaseDC(nullptr, screen);
    if (drawn < 20) return Icon::None;  // the place of the icon, left empty
    if (yellow > 20 && yellow > red) return Icon::Exclamation;
    if (red > 20) return Icon::Error;
    return Icon::Other;
}

}  // namespace

std::wstring E2eFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FolderOf(std::wstring(path, n));
}

std::wstring FreshFolder(const wchar_t* kind) {
    static int made = 0;
    const std::wstring base = E2eFolder() + L"\\" + kind;
    CreateDirectoryW(base.c_str(), nullptr);
    std::wstring folder;
    do {
        folder =
            base + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made);
    } while (!CreateDirectoryW(folder.c_str(), nullptr) && made < 10000);
    return folder;
}

int CopiesIn(const std::wstring& localAppData) {
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((localAppData + L"\\Dllscope\\*.txt").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (FindNextFileW(find, &found));
    FindClose(find);
    return n;
}

Driver::Driver(const std::wstring& folder, const std::wstring& localAppData,
               const std::wstring& arguments) {
    const std::wstring appData = localAppData.empty() ? FreshFolder(L"localappdata") : localAppData;
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str());  // inherited by the program
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + folder + L"\\Dllscope.exe\"";
    if (!arguments.empty()) cmd += L" " + arguments;
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &si, &process_)) {
        throw std::runtime_error("Dllscope.exe did not start");
    }
    WaitForInputIdle(process_.hProcess, kWait);
    main_ = WaitForWindow(L"DllscopeForm1");
    if (!main_) throw std::runtime_error("no main window");
    SetForegroundWindow(main_);
}

Driver::~Driver() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

HWND Driver::WaitForWindow(const wchar_t* windowClass, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    do {
        FindState state{process_.dwProcessId, windowClass, nullptr};
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&state));
        if (state.found) return state.found;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND Driver::Control(const wchar_t* name) const {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        if (std::wcscmp(kForm1Controls[i].name, name) != 0) continue;
        const int id = Form1ControlId(i);
        if (!kForm1Controls[i].inFrame) return GetDlgItem(main_, id);
        return GetDlgItem(Control(L"Frame1"), id);
    }
    return nullptr;
}

std::wstring Driver::TextOf(HWND control) const {
    std::wstring text(65536, L'\0');
    DWORD_PTR n = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &n);
    text.resize(n);
    return text;
}

std::vector<std::wstring> Driver::ListEntries(HWND list) const {
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[MAX_PATH] = L"";
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        entries.push_back(entry);
    }
    return entries;
}

void Driver::ClickAt(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    SetForegroundWindow(GetAncestor(window, GA_ROOT));
    SetCursorPos(p.x, p.y);
    Sleep(30);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    Sleep(100);
}

namespace {

// A file as the shell drags it: CF_HDROP in global memory.
class FileData final : public IDataObject {
  public:
    explicit FileData(std::wstring file) : file_(std::move(file)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        const SIZE_T bytes = sizeof(DROPFILES) + (file_.size() + 2) * sizeof(wchar_t);
        const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), file_.c_str(),
                    file_.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL)
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SHCreateStdEnumFmtEtc(1, &format, out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

  private:
    std::wstring file_;
    ULONG references_ = 1;
};

// Lets go once the drag has been over the target for a moment.
class LetGo final : public IDropSource {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDropSource) {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return ++asked_ > 3 ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

  private:
    int asked_ = 0;
};

}  // namespace

void Driver::DropFile(HWND target, const std::wstring& file) {
    RECT r;
    GetClientRect(target, &r);
    POINT p{r.right / 2, r.bottom / 2};
    ClientToScreen(target, &p);
    SetForegroundWindow(GetAncestor(target, GA_ROOT));
    SetCursorPos(p.x, p.y);
    Sleep(30);
    OleInitialize(nullptr);
    FileData data(file);
    LetGo source;
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(&data, &source, DROPEFFECT_COPY, &effect);
    OleUninitialize();
    Sleep(100);
}

void Driver::Click(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    ClickAt(control, r.right / 2, r.bottom / 2);
}

void Driver::ClickListEntry(HWND list, const std::wstring& entry) {
    const std::vector<std::wstring> entries = ListEntries(list);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] != entry) continue;
        // Scrolled into view first, as a person would with the scroll bar.
        RECT client;
        GetClientRect(list, &client);
        const LRESULT visible =
            client.bottom / std::max<LRESULT>(1, SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
        if (static_cast<LRESULT>(i) < top || static_cast<LRESULT>(i) >= top + visible) {
            SendMessageW(list, LB_SETTOPINDEX, i, 0);
            top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
        }
        const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
        ClickAt(list, 10, static_cast<int>((static_cast<LRESULT>(i) - top) * height + height / 2));
        return;
    }
    throw std::runtime_error("no such list entry");
}

void Driver::PressKey(WORD virtualKey) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = virtualKey;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
    Sleep(100);
}

void Driver::PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> in;
    for (const WORD key : keys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        in.push_back(down);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT up{};
        up.type = INPUT_KEYBOARD;
        up.ki.wVk = *key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        in.push_back(up);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    Sleep(100);
}

void Driver::Type(const std::wstring& text) {
    for (const wchar_t c : text) {
        INPUT in[2]{};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wScan = in[1].ki.wScan = c;
        in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof(INPUT));
    }
    // The keys reach the program in their time: wait until the window with
    // the keyboard focus has held its text for 300 ms (at most 5 s), not a
    // fixed while that a loaded machine may overrun.
    Sleep(200);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const HWND front = GetForegroundWindow();
    const DWORD thread = front ? GetWindowThreadProcessId(front, nullptr) : 0;
    if (!thread || !GetGUIThreadInfo(thread, &gui) || !gui.hwndFocus) return;
    std::wstring last = TextOf(gui.hwndFocus);
    for (int quiet = 0, waited = 0; quiet < 3 && waited < 50; ++waited) {
        Sleep(100);
        std::wstring now = TextOf(gui.hwndFocus);
        quiet = now == last ? quiet + 1 : 0;
        last = std::move(now);
    }
}

MessageBoxSeen Driver::WaitForMessageBox(DWORD timeoutMs) {
    MessageBoxSeen seen;
    seen.hwnd = WaitForWindow(L"#32770", timeoutMs);
    if (!seen.hwnd) return seen;
    Sleep(200);  // let it paint before its icon is looked at
    seen.title = TextOf(seen.hwnd);
    seen.text = TextOf(GetDlgItem(seen.hwnd, 0xFFFF));
    for (HWND w = GetWindow(seen.hwnd, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(w) &&
            SendMessageW(w, STM_GETICON, 0, 0) != 0) {
            seen.icon = ClassifyIcon(w);
        }
    }
    return seen;
}

bool Driver::NoMessageBoxWithin(DWORD ms) { return WaitForWindow(L"#32770", ms) == nullptr; }

void Driver::PressOk(const MessageBoxSeen& box) { Press(box, IDOK); }

void Driver::Press(const MessageBoxSeen& box, int button) {
    Click(GetDlgItem(box.hwnd, button));
    const DWORD start = GetTickCount();
    while (IsWindow(box.hwnd) && GetTickCount() - start < kWait) Sleep(50);
}

void Driver::CloseThroughFrame(HWND window) {
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    const DWORD start = GetTickCount();
    while (IsWindow(window) && GetTickCount() - start < kWait) Sleep(50);
}

bool Driver::WaitForExit(DWORD ms) {
    return WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0;
}

namespace {

// A window as it looks on the screen: 24-bit rows, bottom-up, as a BMP holds them.
struct Capture {
    BITMAPINFOHEADER header{};
    std::vector<BYTE> bits;
    int rowBytes = 0;
};

Capture CaptureWindow(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    Capture c;
    c.header = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    c.rowBytes = ((w * 3 + 3) / 4) * 4;
    const HDC screen = GetDC(nullptr);
    const HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = c.header;
    void* bits = nullptr;
    const HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const BYTE*>(bits);
    c.bits.assign(first, first + static_cast<std::size_t>(c.rowBytes) * h);
    DeleteDC(mem);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return c;
}

}  // namespace

int Driver::PixelsNear(HWND window, COLORREF colour) const {
    const Capture c = CaptureWindow(window);
    int close = 0;
    for (int y = 0; y < c.header.biHeight; ++y) {
        const BYTE* p = c.bits.data() + static_cast<std::size_t>(y) * c.rowBytes;
        for (int x = 0; x < c.header.biWidth; ++x, p += 3) {
            close += std::abs(p[2] - GetRValue(colour)) + std::abs(p[1] - GetGValue(colour)) +
                         std::abs(p[0] - GetBValue(colour)) <
                     60;
        }
    }
    return close;
}

void Driver::Screenshot(HWND window, const std::wstring& file) const {
    const Capture c = CaptureWindow(window);
    const auto size = static_cast<DWORD>(c.bits.size());
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof c.header + size), 0, 0,
                        static_cast<DWORD>(sizeof fh + sizeof c.header)};
    std::ofstream out(file.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
    out.write(reinterpret_cast<const char*>(&c.header), sizeof c.header);
    out.write(reinterpret_cast<const char*>(c.bits.data()), size);
}

}  // namespace dllscope::e2e
