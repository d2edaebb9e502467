#pragma once
// Helpers for the tests that run under Wine: the test's own program folder,
// the fixtures' call log, and message boxes answered by a watcher thread.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/win32/program.h"

namespace dllscope::testing {

// The guard of this test program's foreign calls, installed before main.
ForeignCallGuard& TestGuard();

std::wstring TestFolder();
std::wstring InTestFolder(const std::wstring& name);

// The lines the fixture libraries wrote to calls.log in the test folder.
std::vector<std::string> ReadCallLog();
void ClearCallLog();

// An earlier test's App posted WM_QUIT when its last window closed; left in
// the queue it would end the next modal loop (a message box) at once.
void ForgetEarlierQuit();

enum class BoxIcon { None, Exclamation, Error, Other };

struct SeenMessageBox {
    std::wstring title, text;
    BoxIcon icon = BoxIcon::None;
};

// The text and icon of a standard message box window.
SeenMessageBox ReadMessageBox(HWND box);

// While it lives, a thread answers every message box of this process with
// OK and remembers what each one said.
class MessageBoxWatcher {
  public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    std::vector<SeenMessageBox> Seen();

  private:
    void Watch();
    static BOOL CALLBACK AnswerBox(HWND w, LPARAM self);
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenMessageBox> seen_;
    std::vector<HWND> answered_;
    std::thread thread_;
};

// The row of Form1's control of that name (the tests name controls as the
// error reports do).
Form1Control ControlNamed(const wchar_t* name);

// A window's text, as GetWindowText reads it.
std::wstring TextOf(HWND window);

// Form1 as a real window of the test's program folder, and what a person
// does to it: click a button, select a list entry.
class Form1WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    HWND C(const wchar_t* name) { return window.Control(ControlNamed(name)); }
    void Click(const wchar_t* button);
    void SelectInList(const wchar_t* entry);

    App app{GetModuleHandleW(nullptr)};
    Program program{app, TestGuard()};
    Form1Window& window = program.MainWindow();
};

}  // namespace dllscope::testing
