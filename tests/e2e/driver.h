#pragma once
// Drives a running Dllscope.exe from outside, as a person would: finds its
// windows, clicks with the mouse, types, and reads what the screen shows.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace dllscope::e2e {

// How long the driver waits for what must come (a window, a box, the
// program's end): long enough that only a real failure reaches it on a slow,
// busy machine; every wait ends as soon as what it waits for is there.
constexpr DWORD kWait = 30000;

enum class Icon { None, Exclamation, Error, Other };

struct MessageBoxSeen {
    HWND hwnd = nullptr;
    std::wstring title, text;
    Icon icon = Icon::None;
};

class Driver {
  public:
    // Starts program folder + "\Dllscope.exe" and waits for its main window.
    // Each start gets a local application data folder of its own (where
    // Dllscope keeps the copy of its editor text), unless one is given;
    // `arguments` follow the program's name on its command line.
    explicit Driver(const std::wstring& folder, const std::wstring& localAppData = L"",
                    const std::wstring& arguments = L"");
    ~Driver();  // ends the program if it still runs
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    HWND Main() const { return main_; }
    HWND Control(const wchar_t* name) const;  // a control of Form1 by its name
    std::wstring TextOf(HWND control) const;
    std::vector<std::wstring> ListEntries(HWND list) const;

    void ClickAt(HWND window, int x, int y);  // client coordinates
    void Click(HWND control);                 // its middle
    void ClickListEntry(HWND list, const std::wstring& entry);
    // Drags `file` from this process onto the middle of `target` through the
    // system's drag and drop, and lets go there.
    void DropFile(HWND target, const std::wstring& file);
    void PressKey(WORD virtualKey);
    // Keys held down in order and let go in reverse: {VK_CONTROL, 'O'}.
    void PressKeys(std::initializer_list<WORD> keys);
    void Type(const std::wstring& text);

    // A visible top-level window of the program's of that class, or nullptr.
    HWND WaitForWindow(const wchar_t* windowClass, DWORD timeoutMs = kWait) const;
    // Closes a window through its frame, as its close button does.
    void CloseThroughFrame(HWND window);

    // The next message box of the program, within the time-out.
    MessageBoxSeen WaitForMessageBox(DWORD timeoutMs = kWait);
    bool NoMessageBoxWithin(DWORD ms);
    void PressOk(const MessageBoxSeen& box);
    void Press(const MessageBoxSeen& box, int button);  // IDYES, IDNO, ...

    bool WaitForExit(DWORD ms);
    // Saves the window as it looks on the screen, as a BMP file.
    void Screenshot(HWND window, const std::wstring& file) const;
    // How many pixels of the window on the screen are near a colour.
    int PixelsNear(HWND window, COLORREF colour) const;

  private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

std::wstring E2eFolder();

// A new, empty folder below the e2e folder.
std::wstring FreshFolder(const wchar_t* kind);

// How many copies of the editor text lie in a local application data folder.
int CopiesIn(const std::wstring& localAppData);

}  // namespace dllscope::e2e
