#include "call_log/win32/call_log_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeCallLog";
// As wide as Form1, so that it fits the screen beside it; the columns share
// the width in these proportions, each one whole.
constexpr int kWidth = 12375, kHeight = 6000;  // twips
constexpr int kColumnShares[9] = {80, 95, 95, 110, 140, 100, 75, 65, 60};

}  // namespace

CallLogWindow::~CallLogWindow() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void CallLogWindow::Create() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const int dpi = ScreenDpi();
    CreateFixed(kClassName, kWidth, kHeight, dpi);
    SetWindowTextW(hwnd_, L"Aufrufprotokoll \u2013 Dllscope");
    RECT client;
    GetClientRect(hwnd_, &client);
    list_ = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0,
        client.right, client.bottom, hwnd_, nullptr, app_.Instance(), nullptr);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    // The columns fill the list beside its vertical scroll bar.
    int shares = 0;
    for (const int share : kColumnShares) shares += share;
    const int room = client.right - GetSystemMetrics(SM_CXVSCROLL) - 4;
    for (int i = 0; i < 9; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kCallColumns[i]);
        column.cx = MulDiv(kColumnShares[i], room, shares);
        column.iSubItem = i;
        ListView_InsertColumn(list_, i, &column);
    }
    Follow();
    ShowWindow(hwnd_, SW_SHOW);
    ::SetFocus(list_);
}

void CallLogWindow::Follow() {
    if (!list_) return;
    const int count = static_cast<int>(log_.Rows().size());
    ListView_SetItemCountEx(list_, count, LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, FALSE);
    if (count > 0) ListView_EnsureVisible(list_, count - 1, FALSE);
}

std::wstring CallLogWindow::SelectedRows() const {
    std::vector<std::size_t> selected;
    for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(list_, i, LVNI_SELECTED))
        selected.push_back(static_cast<std::size_t>(i));
    return RowsAsText(log_.Rows(), selected);
}

bool CallLogWindow::PreTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.hwnd != list_) return false;
    if (msg.wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
        const std::wstring text = SelectedRows();
        if (text.empty() || !OpenClipboard(hwnd_)) return true;
        EmptyClipboard();
        const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
        if (const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            std::memcpy(GlobalLock(memory), text.c_str(), bytes);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        }
        CloseClipboard();
        return true;
    }
    if (msg.wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
        ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
        return true;
    }
    return false;
}

LRESULT CallLogWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NOTIFY) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if (info->hdr.hwndFrom == list_ && info->hdr.code == LVN_GETDISPINFOW &&
            (info->item.mask & LVIF_TEXT)) {
            const auto row = static_cast<std::size_t>(info->item.iItem);
            std::wstring text;
            if (row < log_.Rows().size()) {
                const CallRow& r = log_.Rows()[row];
                wchar_t ms[32];
                std::swprintf(ms, 32, L"%.1f", r.milliseconds);
                const std::wstring fields[9] = {
                    r.time, r.command,   r.library,
                    r.call, r.arguments, r.result,
                    ms,     r.fault,     r.process ? std::to_wstring(r.process) : std::wstring()};
                if (info->item.iSubItem >= 0 && info->item.iSubItem < 9)
                    text = fields[info->item.iSubItem];
            }
            if (info->item.cchTextMax > 0) {
                const std::size_t n = std::min<std::size_t>(text.size(), info->item.cchTextMax - 1);
                text.copy(info->item.pszText, n);
                info->item.pszText[n] = L'\0';
            }
            return 0;
        }
    }
    if (msg == WM_SETFOCUS && list_) {
        ::SetFocus(list_);
        return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

}  // namespace dllscope
