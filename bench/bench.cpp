// Dllscope's costs beside the raw floor of the same Win32 calls, measured in
// one run under Wine. Each case runs in a process of its own (see
// scripts/bench.sh), so that its peak working set is its own:
//   dllscope_bench roundtrip ours|floor [characters]
//                                         a text (2,000,000 characters) through an identity plugin
//   dllscope_bench loadfile ours|floor    LoadFile of a 10 MB HTML file
//   dllscope_bench startup ours|floor     Form1 with the DLLs of its folder
//   dllscope_bench recovery ours|floor    the copy of a 10 MB editor text before a plugin call
//   dllscope_bench roundtrip ours 50000000  the 50 MB result of a code-1 plugin written into the
//   pane
//   dllscope_bench roundtrip isolated     the same with the plugin in its host process
//   dllscope_bench selection ours|isolated  the selection cycle on identity.dll, one of 20
//   dllscope_bench changes ours           "Änderungen des letzten Laufs" for a 2 MB page with
//                                         100 changed lines; control: the diff alone
//   dllscope_bench hoststart isolated     a host's start with its first answer; control: a
//                                         later answer alone
//   dllscope_bench follow ours            from the end of a copy of a rebuilt selected
//                                         plugin over its file to its new name on Form1;
//                                         control: a DLL copied in to its entry in the list
// Prints one line: case, side, seconds, the control's own seconds, peak MB.
#include <windows.h>
#include <psapi.h>
#include <Scintilla.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/win32/program.h"
#include "common/win32/app.h"
#include "editor/win32/text_recovery.h"
#include "editor/win32/code_pane.h"
#include "main_window/form1.h"
#include "main_window/win32/form1_window.h"
#include "common/paths.h"
#include "plugin/win32/bridge.h"
#include "main_window/win32/demo.h"
#include "plugin/win32/libraries.h"
#include "check/fuzz.h"
#include "host/host_client.h"
#include "host/win32/host_session.h"
#include "plugin/bridge_cycle.h"
#include "host/win32/host_process.h"
#include "changes/win32/changes_window.h"

namespace dllscope {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double PeakMb() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

std::wstring Folder() {
    wchar_t path[MAX_PATH];
    return FolderOf(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
}

// HTML-like text of `size` characters, lines of about 70.
std::wstring SampleText(std::size_t size) {
    static const std::wstring line =
        L"<p>Plugins f\u00fcr Tagsmith: <b>Gr\u00fc\u00dfe</b> &amp; Text.</p>\r\n";
    std::wstring text;
    text.reserve(size + line.size());
    while (text.size() < size) text += line;
    text.resize(size - 2);
    return text + L"\r\n";
}

HWND Host() {
    return CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

// The floor's own calls on the editor component: its text as UTF-8 bytes,
// converted to and from UTF-16 as any caller must.
std::wstring RawGet(HWND edit) {
    const auto n = static_cast<int>(SendMessageW(edit, SCI_GETLENGTH, 0, 0));
    const auto* bytes =
        reinterpret_cast<const char*>(SendMessageW(edit, SCI_GETCHARACTERPOINTER, 0, 0));
    std::wstring text(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes, n, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, n, text.data(), static_cast<int>(text.size()));
    return text;
}

void RawSet(HWND edit, const std::wstring& text) {
    const int size = static_cast<int>(text.size());
    std::string bytes(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size,
                                                                   nullptr, 0, nullptr, nullptr)),
                      '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()),
                        nullptr, nullptr);
    SendMessageW(edit, SCI_SETTEXT, 0, reinterpret_cast<LPARAM>(bytes.c_str()));
}

struct Result {
    double seconds = 0, control = 0;
};

// A view that needs nothing: the run command reads no label in mode 1.
struct QuietView : Form1View {
    void SetCaption(Form1Label, const std::wstring&) override {}
    std::wstring Caption(Form1Label) override { return L""; }
    void ShowMessage(const std::wstring& text, MessageIcon) override {
        std::fwprintf(stderr, L"message: %ls\n", text.c_str());
    }
    void SetFileListFolder(const std::wstring&) override {}
    std::wstring SelectedFileName() override { return L"identity.dll"; }
    void EndProgram() override {}
};
struct NoViewer : ResultViewer {
    void Show() override {}
};

// The host's calls may take as long as they take here.
struct PatientWaiting : HostWaiting {
    DWORD HangMilliseconds() override { return 600000; }
    bool EndHungCall(const ForeignCall&, unsigned long long, HangSampling&) override {
        return true;
    }
};

std::wstring HostProgram() { return Folder() + L"\\dllscope-host.exe"; }

// Form1 over the plugin cycle in this process or in a host.
struct Bench1 {
    explicit Bench1(CodePane& pane, bool isolated)
        : host(HostProgram(), kBridgeFileName, waiting),
          bridge(bindings),
          demoExports(bindings, Folder()),
          form(Form1Services{Folder(),
                             isolated ? static_cast<Libraries&>(host.libraries) : libraries,
                             isolated ? static_cast<Bridge&>(host.bridge) : bridge, pane, view,
                             viewer, resultFileName, demoExports, automation}) {}
    PatientWaiting waiting;
    HostSession host;
    Bindings bindings;
    Win32Libraries libraries;
    Win32Bridge bridge;
    QuietView view;
    NoViewer viewer;
    std::wstring resultFileName;
    Win32DemoExports demoExports;
    Win32Automation automation;
    Form1 form;
};

Result SelectionCycle(bool isolated) {
    const HWND host = Host();
    CodePane pane(host, 1, RECT{0, 0, 660, 460}, 96);
    Bench1 bench(pane, isolated);
    bench.form.File1_Click();  // binds the bridge, starts the host
    constexpr int kCycles = 20;
    const auto start = Clock::now();
    for (int i = 0; i < kCycles; ++i) bench.form.File1_Click();
    return {Seconds(start) / kCycles, 0};
}

Result Changes() {
    // A page of 2 MB whose lines differ, as a real page's mostly do.
    std::string before;
    for (int n = 1; before.size() < 2 * 1000 * 1000; ++n)
        before += "<p>Zeile " + std::to_string(n) +
                  ": Plugins f\xC3\xBCr Tagsmith: <b>Gr\xC3\xBC\xC3\x9F"
                  "e</b> &amp; Text.</p>\r\n";
    // 100 lines changed, spread over the page.
    std::string after = before;
    const std::size_t lines =
        static_cast<std::size_t>(std::count(after.begin(), after.end(), '\n'));
    std::size_t line = 0, every = lines / 100;
    for (std::size_t at = 0; at < after.size(); ++at) {
        if (after[at] != '\n') continue;
        if (++line % every == 0 && at + 2 < after.size()) after[at + 2] = 'P';  // "<p>" -> "<P>"
    }
    Result r;
    auto start = Clock::now();
    const LineDiff diff = DiffLines(before, after);
    r.control = Seconds(start);
    if (diff.counts.changed != 100) std::fprintf(stderr, "changed: %zu\n", diff.counts.changed);
    App app(GetModuleHandleW(nullptr));
    ChangesWindow window(app);
    start = Clock::now();
    window.Show({L"bench.dll", L"12:00:00", before, after});
    UpdateWindow(window.Handle());
    r.seconds = Seconds(start);
    return r;
}

Result HostStart() {
    PatientWaiting waiting;
    HostSession host(HostProgram(), kBridgeFileName, waiting);
    HostLibraries& libraries = host.libraries;
    Result r;
    auto start = Clock::now();
    libraries.Free(0);
    r.seconds = Seconds(start);
    start = Clock::now();
    libraries.Free(0);
    r.control = Seconds(start);
    return r;
}

// A failing page of 64 KiB shrunk to its smallest form, each try a run of
// reference.dll (which faults on a character reference beyond U+10FFFF) in
// its host, as the checker's fuzzing shrinks a finding. control: the runs.
Result Shrink() {
    PatientWaiting waiting;
    HostSession host(HostProgram(), kBridgeFileName, waiting);
    HostLibraries& libraries = host.libraries;
    HostBridge& bridge = host.bridge;
    std::wstring page;
    for (int n = 1; page.size() < 64 * 1024; ++n)
        page += L"<tr><td class=\"z\">Zeile " + std::to_wstring(n) +
                L"</td><td>Gr&uuml;&szlig;e &amp; &#x41; Text</td></tr>\r\n";
    page.insert(page.size() / 2, L"&#x110000;");
    page.resize(64 * 1024);
    const std::wstring plugin = Folder() + L"\\reference.dll";
    int runs = 0;
    const auto fails = [&](const std::wstring& candidate) {
        ++runs;
        try {
            RunBridgeCycle(libraries, kBridgeFileName, plugin, [&](LibraryHandle) {
                std::wstring path = plugin;
                bridge.PluginRun(candidate, path);
            });
        } catch (const PluginProcessFault&) {
            return true;
        } catch (const std::exception&) {
        }
        return false;
    };
    if (!fails(page)) std::fprintf(stderr, "the page does not fail!\n");
    const auto start = Clock::now();
    const std::wstring smallest = ShrunkPage(page, fails, [] { return true; });
    Result r;
    r.seconds = Seconds(start);
    r.control = runs;
    if (smallest != L"&#x110000") std::fwprintf(stderr, L"shrunk to: %ls\n", smallest.c_str());
    return r;
}

Result RoundTrip(bool ours, std::size_t size, bool isolated) {
    const HWND host = Host();
    CodePane pane(host, 1, RECT{0, 0, 660, 460}, 96);
    const std::wstring text = SampleText(size);
    RawSet(pane.Handle(), text);
    Result r;
    if (ours || isolated) {
        Bench1 bench(pane, isolated);
        bench.form.File1_Click();  // selects identity.dll: one small bridge cycle, not timed
        const auto start = Clock::now();
        bench.form.Command10_Click();
        r.seconds = Seconds(start);
    } else {
        const HMODULE bridgeModule = LoadLibraryW((Folder() + L"\\modbridge.dll").c_str());
        using Run = BSTR(WINAPI*)(char*, char*);
        const auto run = reinterpret_cast<Run>(
            reinterpret_cast<void (*)()>(GetProcAddress(bridgeModule, "PluginRun")));
        std::string path = "identity.dll";
        const std::wstring full = Folder() + L"\\identity.dll";
        path.assign(full.begin(), full.end());
        const auto start = Clock::now();
        auto c = Clock::now();
        const std::wstring in = RawGet(pane.Handle());
        r.control += Seconds(c);
        std::string ansi(
            static_cast<std::size_t>(WideCharToMultiByte(
                CP_ACP, 0, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, nullptr)) +
                1,
            '\0');
        WideCharToMultiByte(CP_ACP, 0, in.data(), static_cast<int>(in.size()), ansi.data(),
                            static_cast<int>(ansi.size()), nullptr, nullptr);
        const BSTR result = run(ansi.data(), path.data());
        const int bytes = static_cast<int>(SysStringByteLen(result));
        std::wstring out(static_cast<std::size_t>(MultiByteToWideChar(
                             CP_ACP, 0, reinterpret_cast<char*>(result), bytes, nullptr, 0)),
                         L'\0');
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<char*>(result), bytes, out.data(),
                            static_cast<int>(out.size()));
        SysFreeString(result);
        c = Clock::now();
        RawSet(pane.Handle(), out);
        r.control += Seconds(c);
        r.seconds = Seconds(start);
    }
    if (pane.Text() != text) std::fprintf(stderr, "round trip changed the text!\n");
    return r;
}

Result LoadFile(bool ours) {
    const HWND host = Host();
    CodePane pane(host, 1, RECT{0, 0, 660, 460}, 96);
    std::wstring name = Folder() + L"\\bench.html";
    Result r;
    const auto start = Clock::now();
    if (ours) {
        pane.LoadFile(name);
    } else {
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size{};
        GetFileSizeEx(file, &size);
        std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(file);
        std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(
                              CP_UTF8, 0, bytes.data(), static_cast<int>(got), nullptr, 0)),
                          L'\0');
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(got), text.data(),
                            static_cast<int>(text.size()));
        const auto c = Clock::now();
        RawSet(pane.Handle(), text);
        r.control = Seconds(c);
    }
    r.seconds = Seconds(start);
    return r;
}

// Dllscope as it opens: Form1 with the DLLs of this folder, shown without
// taking the focus.
struct Opened {
    App app{GetModuleHandleW(nullptr)};
    ForeignCallGuard guard;
    Program program{app, guard};
    Form1Window& window = program.MainWindow();
    Opened() {
        program.Create();
        window.Show(SW_SHOWNOACTIVATE);
    }
};

// Dispatches Form1's messages until `done` holds or `limit` seconds have passed.
double PumpUntil(const std::function<bool()>& done, double limit = 10) {
    const auto start = Clock::now();
    while (!done() && Seconds(start) < limit) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return Seconds(start);
}

std::wstring TextOf(HWND control) {
    wchar_t text[256] = L"";
    GetWindowTextW(control, text, 256);
    return text;
}

// The folder holds modbridge.dll, meinplugin.dll (the entities sample) and
// htmlcheck.dll to copy over it. Form1 selects meinplugin.dll; each copy
// ends before the clock starts.
Result Follow() {
    const std::wstring folder = Folder();
    CopyFileW((folder + L"\\entities.dll").c_str(), (folder + L"\\meinplugin.dll").c_str(), FALSE);
    DeleteFileW((folder + L"\\neu.dll").c_str());
    Opened dllscope;
    Form1Window& window = dllscope.window;
    const HWND list = window.Control(Form1Control::File1);
    const HWND name = window.Control(Form1Control::lblName);
    SendMessageW(list, LB_SETCURSEL,
                 SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(L"meinplugin.dll")),
                 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    PumpUntil([] { return false; }, 1);  // settles: the selection's reading, the first notices
    const std::wstring before = TextOf(name);
    Result r;
    if (!CopyFileW((folder + L"\\htmlcheck.dll").c_str(), (folder + L"\\meinplugin.dll").c_str(),
                   FALSE))
        std::fprintf(stderr, "the copy over meinplugin.dll failed: %lu\n", GetLastError());
    r.seconds = PumpUntil([&] { return TextOf(name) != before; });
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    CopyFileW((folder + L"\\entities.dll").c_str(), (folder + L"\\neu.dll").c_str(), FALSE);
    r.control = PumpUntil([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > count; });
    if (before.empty() || TextOf(name) == before)
        std::fprintf(stderr, "the name stayed \"%ls\"; the status line: %ls\n", before.c_str(),
                     TextOf(GetDlgItem(window.Handle(), 1999)).c_str());
    return r;
}

Result Startup(bool ours) {
    Result r;
    const auto start = Clock::now();
    if (ours) {
        Opened dllscope;
        Form1Window& window = dllscope.window;
        r.seconds = Seconds(start);
        r.control = static_cast<double>(
            SendMessageW(window.Control(Form1Control::File1), LB_GETCOUNT, 0, 0));
    } else {
        const HWND host = Host();
        const HWND list =
            CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | LBS_NOTIFY, 0, 0, 149, 106,
                            host, nullptr, GetModuleHandleW(nullptr), nullptr);
        ShowWindow(host, SW_SHOWNOACTIVATE);
        WIN32_FIND_DATAW found;
        const HANDLE find = FindFirstFileW((Folder() + L"\\*.dll").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.cFileName));
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        UpdateWindow(host);
        r.seconds = Seconds(start);
        r.control = static_cast<double>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    }
    return r;
}

// The copy of the editor text that Dllscope writes before a call into a
// plugin when the text has changed: read the pane, write UTF-8, flush. The
// floor writes and flushes the same bytes, made beforehand.
Result Recovery(bool ours) {
    const HWND host = Host();
    CodePane pane(host, 1, RECT{0, 0, 660, 460}, 96);
    const std::wstring text = SampleText(10 * 1000 * 1000);
    RawSet(pane.Handle(), text);
    Result r;
    if (ours) {
        RecoveryFile copy(Folder());
        const auto start = Clock::now();
        if (pane.TakeChanged()) {
            const std::string now = pane.Utf8Text();
            r.control = Seconds(start);  // the read from the control
            if (!copy.Write(now)) std::fprintf(stderr, "copy failed\n");
        }
        r.seconds = Seconds(start);
        copy.RemoveAtNormalEnd();
    } else {
        std::string bytes = "\xEF\xBB\xBF";
        bytes.resize(3 + static_cast<std::size_t>(WideCharToMultiByte(
                             CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                             nullptr, nullptr)));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                            bytes.data() + 3, static_cast<int>(bytes.size() - 3), nullptr, nullptr);
        const std::wstring name = Folder() + L"\\floor-copy.txt";
        const auto start = Clock::now();
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        FlushFileBuffers(file);
        CloseHandle(file);
        r.seconds = Seconds(start);
        DeleteFileW(name.c_str());
    }
    return r;
}

}  // namespace
}  // namespace dllscope

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: dllscope_bench roundtrip|loadfile|startup|recovery|selection|hoststart|shrink "
            "ours|floor|isolated\n");
        return 2;
    }
    const std::string which = argv[1];
    const bool ours = std::string(argv[2]) == "ours";
    const bool isolated = std::string(argv[2]) == "isolated";
    dllscope::Result r;
    const std::size_t size = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 2 * 1000 * 1000;
    if (which == "roundtrip")
        r = dllscope::RoundTrip(ours, size, isolated);
    else if (which == "selection")
        r = dllscope::SelectionCycle(isolated);
    else if (which == "changes")
        r = dllscope::Changes();
    else if (which == "shrink")
        r = dllscope::Shrink();
    else if (which == "hoststart")
        r = dllscope::HostStart();
    else if (which == "loadfile")
        r = dllscope::LoadFile(ours);
    else if (which == "follow")
        r = dllscope::Follow();
    else if (which == "startup")
        r = dllscope::Startup(ours);
    else if (which == "recovery")
        r = dllscope::Recovery(ours);
    else
        return 2;
    std::printf("%s %s %.4f %.4f %.1f\n", which.c_str(), argv[2], r.seconds, r.control,
                dllscope::PeakMb());
    return 0;
}
