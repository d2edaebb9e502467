// dllscope-check: the plugin check for build scripts and CI. It runs on each
// plugin the cycle that selecting it in Dllscope runs, then the run that
// "PluginRun" does, through the same bridge and under the same guard, and
// reports one line per check, or one JSON document, and an exit code.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "check/check_options.h"
#include "check/check_report.h"
#include "common/paths.h"
#include "common/utf8.h"
#include "common/win32/ansi.h"
#include "common/win32/system_error.h"
#include "editor/text_decoding.h"
#include "plugin/library_diagnosis.h"
#include "plugin/pe_image.h"
#include "plugin/win32/bridge.h"
#include "plugin/win32/guard.h"
#include "plugin/win32/library_files.h"

namespace dllscope {
namespace {

constexpr wchar_t kDefaultPage[] =
    L"<!DOCTYPE html>\r\n<html>\r\n<head><title>Pr\u00fcfung</title></head>\r\n<body>\r\n"
    L"<h1>Gr\u00fc\u00dfe</h1>\r\n<p>Text &amp; <b>fett</b> "
    L"\u00e4\u00f6\u00fc</p>\r\n</body>\r\n</html>\r\n";
constexpr long long kHandleAllowance = 4;
constexpr long long kMemoryAllowance = 1024 * 1024;  // plus 16 KiB a cycle

// Everything goes out through WriteFile at once: a plugin may end the
// process at any moment, and what is written stays written.
void Write(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}
void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, ToUtf8(text)); }
void Err(const std::wstring& text) { Write(STD_ERROR_HANDLE, ToUtf8(text)); }

bool ReadBytes(const std::wstring& path, std::string& bytes) {
    return ReadWholeFile(path, bytes) == ERROR_SUCCESS;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD n =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(n < full.size() ? n : 0);
    return full.empty() ? path : full;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FolderOf(std::wstring(path, n < MAX_PATH ? n : 0));
}

// The process's open handles, by value, from the system's handle table
// (Wine answers GetProcessHandleCount with 0); empty when it cannot be read.
std::vector<ULONG_PTR> OwnHandles() {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<ULONG_PTR> own;
    if (!query) return own;
    std::vector<BYTE> buffer(1 << 16);
    for (int tries = 0; tries < 16; ++tries) {
        ULONG needed = 0;
        const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // too small
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) return own;
        const ULONG entries = *reinterpret_cast<ULONG*>(buffer.data());
        const std::size_t room = (buffer.size() - sizeof(ULONG_PTR)) / sizeof(Entry);
        const auto* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
        for (ULONG i = 0; i < entries && i < room; ++i) {
            if (entry[i].ownerPid == GetCurrentProcessId()) own.push_back(entry[i].handle);
        }
        std::sort(own.begin(), own.end());
        return own;
    }
    return own;
}

long long OpenHandles(const std::vector<ULONG_PTR>& own) {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    return static_cast<long long>(own.size());
}

// The system's name of a handle's type ("Event", "Thread", ...).
std::wstring HandleType(ULONG_PTR handle) {
    using Query = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    alignas(8) BYTE buffer[1024];
    ULONG needed = 0;
    if (!query || query(reinterpret_cast<HANDLE>(handle), 2 /* ObjectTypeInformation */, buffer,
                        sizeof buffer, &needed) < 0) {
        return std::wstring();
    }
    struct Counted {
        USHORT length, maximumLength;
        PWSTR text;
    };
    const auto* name = reinterpret_cast<const Counted*>(buffer);
    if (!name->text || name->length > sizeof buffer) return std::wstring();
    return std::wstring(name->text, name->length / sizeof(wchar_t));
}

// Committed private memory, summed over the address space.
long long PrivateBytes() {
    long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += static_cast<long long>(region.RegionSize);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

// How many TLS indexes the process can still have.
long long FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (const DWORD slot : taken) TlsFree(slot);
    return static_cast<long long>(taken.size());
}

// Whether a plugin links the C runtime MinGW links (msvcrt.dll).
bool LinksMsvcrt(const PeImage& image) {
    for (const PeImport& import : image.imports) {
        if (lstrcmpiA(import.library.c_str(), "msvcrt.dll") == 0) return true;
    }
    return false;
}

void CatchExitProcess(HMODULE module);

// The report as it grows; a hang or the plugin's end of the process closes
// it from where it stands.
class Checker : public ForeignCallObserver {
  public:
    Checker(const CheckOptions& options, std::wstring bridgePath)
        : options_(options),
          bridgePath_(std::move(bridgePath)),
          bridge_(bindings_, PassablePath(bridgePath_)) {}

    void Begin() {
        const int bits = sizeof(void*) == 8 ? 64 : 32;
        if (options_.json) {
            Out(L"{\"tool\":\"dllscope-check\",\"version\":\"" DLLSCOPE_VERSION_W L"\",\"bits\":" +
                std::to_wstring(bits) + L",\"bridge\":");
            Write(STD_OUTPUT_HANDLE, JsonString(bridgePath_) + ",\"plugins\":[");
        } else {
            Out(L"dllscope-check " DLLSCOPE_VERSION_W L" (" + std::to_wstring(bits) +
                L" Bit), Brücke: " + bridgePath_ + L"\n");
        }
    }

    void Check(const std::wstring& file) {
        reports_.emplace_back();
        current_ = &reports_.back();
        current_->file = file;
        current_->warningsFail = options_.strict;
        try {
            CheckPlugin(FullPath(file));
        } catch (const std::exception& e) {
            // Whatever went wrong in checking one plugin ends its check only.
            const std::string what = e.what();
            current_->problems.push_back(L"Die Prüfung dieses Plugins ist abgebrochen: " +
                                         std::wstring(what.begin(), what.end()));
        }
        Emit(*current_);
        current_ = nullptr;
    }

    int End() {
        finished_ = true;
        const int code = CheckExitCode(reports_);
        Close(code);
        return code;
    }

    // A plugin that ended the process: the report says so and closes.
    void EndedByPlugin() {
        if (finished_ || !current_) return;
        current_->problems.push_back(L"Das Plugin hat den Prozess beendet (beim Aufruf von " +
                                     currentCall_ + L"), ohne zurückzukehren.");
        Emit(*current_);
        finished_ = true;
        Close(1);
    }

    // ForeignCallObserver
    void BeforeForeignCall() override {}
    std::wstring SavedTextNote() override { return std::wstring(); }
    DWORD HangMilliseconds() override { return static_cast<DWORD>(options_.timeoutSeconds) * 1000; }
    bool OnHang(const ForeignCall& call, unsigned long long milliseconds) override {
        if (current_ && !finished_) {
            current_->hung = true;
            current_->problems.push_back(L"Der Aufruf von " + call.call + L" ist nach " +
                                         std::to_wstring(milliseconds / 1000) +
                                         L" Sekunden nicht zurückgekehrt.");
            Emit(*current_);
            finished_ = true;
            Close(3);
        }
        TerminateProcess(GetCurrentProcess(), 3);
        return true;
    }

  private:
    void Emit(const PluginReport& r) {
        if (options_.json) {
            Write(STD_OUTPUT_HANDLE, (emitted_++ ? "," : "") + PluginJson(r));
        } else {
            Out(PluginText(r));
            if (r.output) Out(L"  Ergebnis:\n" + *r.output + L"\n");
        }
    }

    void Close(int code) {
        std::size_t passed = 0;
        for (const PluginReport& r : reports_) passed += r.Passed() ? 1 : 0;
        if (options_.json) {
            Write(STD_OUTPUT_HANDLE, "],\"passed\":" + std::to_string(passed) +
                                         ",\"failed\":" + std::to_string(reports_.size() - passed) +
                                         ",\"exitCode\":" + std::to_string(code) + "}\n");
        } else {
            Out(L"Ergebnis: " + std::to_wstring(passed) + L" von " +
                std::to_wstring(reports_.size()) + L" bestanden.\n");
        }
    }

    std::wstring Input() const {
        if (options_.text) return *options_.text;
        if (options_.inputFile.empty()) return kDefaultPage;
        std::string bytes;
        ReadBytes(options_.inputFile, bytes);
        return DecodeFileText(bytes, FromAnsi);
    }

    void Fault(const ForeignFault& f) {
        current_->faults.push_back({currentCall_, FaultKindWords(f.Details().code),
                                    f.Details().code, FaultWhere(f.Details()), f.Description(),
                                    FaultPlace(f.Details())});
    }

    // One cycle as selecting and running the plugin in Dllscope: false when
    // it ended early (a fault: nothing is freed then).
    bool Cycle(const std::wstring& path, bool first) {
        PluginReport& r = *current_;
        std::wstring passable = PassablePath(path);
        const auto load = [&](const std::wstring& library, DWORD& error) {
            AnsiArg ansi(PassablePath(library));
            char* const p = ansi.get();
            HMODULE module = nullptr;
            currentCall_ = L"LoadLibrary";
            CallForeign({L"Die Bibliothek", FileNameOf(library), L"LoadLibrary"}, [&] {
                module = LoadLibraryA(p);
                error = GetLastError();
            });
            return module;
        };
        const auto free = [&](HMODULE module) {
            currentCall_ = L"FreeLibrary";
            CallForeign({L"Die Bibliothek", FileNameOf(path), L"FreeLibrary"},
                        [&] { FreeLibrary(module); });
        };
        try {
            DWORD error = 0;
            const HMODULE bridgeModule = load(bridgePath_, error);
            const HMODULE plugin = load(path, error);
            CatchExitProcess(plugin);
            if (!plugin && first) {
                const LoadFailure failure{error, SystemErrorText(error),
                                          sizeof(void*) == 8 ? 64 : 32, LoaderSearchFolders()};
                DiskLibraryFiles files;
                r.diagnosis = DiagnoseLibrary(path, failure, files);
            }
            currentCall_ = L"PluginBackvalue";
            const std::int16_t code = bridge_.PluginBackvalue(passable);
            currentCall_ = L"PluginName";
            const std::wstring name = bridge_.PluginName(passable);
            currentCall_ = L"PluginDescription";
            const std::wstring description = bridge_.PluginDescription(passable);
            if (first) {
                r.code = code;
                r.name = name;
                r.description = description;
                if (code == -1 && r.diagnosis.empty()) r.diagnosis = description;
            }
            if ((code >= 1 && code <= 3) || (code == 0 && options_.runTypeZero))
                Run(code, passable, first);
            if (plugin) free(plugin);
            if (bridgeModule) free(bridgeModule);
            return true;
        } catch (const ForeignFault& f) {
            Fault(f);
        } catch (const RuntimeError& e) {
            r.problems.push_back(e.Description());
        } catch (const std::bad_alloc&) {
            r.problems.push_back(L"Nicht genügend Arbeitsspeicher.");
        } catch (const std::length_error&) {
            r.problems.push_back(L"Nicht genügend Arbeitsspeicher.");
        }
        return false;
    }

    void Run(std::int16_t code, std::wstring& path, bool keep) {
        const std::wstring input = Input();
        std::wstring output;
        currentCall_ = L"PluginRun";
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::wstring> warnings;
        if (code == kTextToFromPlugin || code == kNothing) {
            output = bridge_.PluginRun(input, path);
            if (code == kNothing) output.clear();
            if (LooksLikeUtf16(output)) warnings.push_back(Utf16Warning());
        } else if (code == kFileNameFromPlugin) {
            const std::wstring resultFile = bridge_.PluginRun(input, path);
            std::string bytes;
            if (!ReadBytes(resultFile, bytes)) {
                warnings.push_back(L"Die Ergebnisdatei \u201E" + resultFile +
                                   L"\u201C, die das Plugin nennt, gibt es nicht oder sie kann "
                                   L"nicht gelesen werden; Dllscope meldet sie ebenso.");
            }
            output = DecodeFileText(bytes, FromAnsi);
        } else {
            wchar_t temp[MAX_PATH];
            const DWORD n = GetTempPathW(MAX_PATH, temp);
            const std::wstring exchange =
                InFolder(std::wstring(temp, n < MAX_PATH ? n : 0), L"dateiname.txt");
            WriteBytes(exchange, ToAnsi(input));
            bridge_.PluginRun(exchange, path);
            std::string bytes;
            ReadBytes(exchange, bytes);
            output = DecodeFileText(bytes, FromAnsi);
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!keep) return;
        if (const auto beyond = CharactersBeyondAnsi(input, 10); !beyond.empty())
            warnings.insert(warnings.begin(), BeyondAnsiWarning(beyond));
        current_->warnings.insert(current_->warnings.end(), warnings.begin(), warnings.end());
        current_->runs.push_back({input.size(), output.size(), ms});
        if (code == kNothing) return;
        const std::string bytes = ToUtf8(output);
        if (!options_.expectOutput.empty()) {
            std::string expected;
            if (!ReadBytes(options_.expectOutput, expected)) {
                current_->problems.push_back(L"Die erwartete Ausgabe \u201E" +
                                             options_.expectOutput +
                                             L"\u201C kann nicht gelesen werden.");
            } else if (Difference d; FirstDifference(expected, bytes, d)) {
                current_->problems.push_back(
                    L"Das Ergebnis weicht von \u201E" + options_.expectOutput +
                    L"\u201C ab, zuerst in Zeile " + std::to_wstring(d.line) + L" (Byte " +
                    std::to_wstring(d.byte) + L"):\n    erwartet: " +
                    Decode(CP_UTF8, d.expected.data(), d.expected.size()) + L"\n    erhalten: " +
                    Decode(CP_UTF8, d.actual.data(), d.actual.size()));
            }
        }
        if (!options_.outputFile.empty()) {
            if (!WriteBytes(options_.outputFile, bytes)) {
                current_->problems.push_back(L"Die Ausgabedatei \u201E" + options_.outputFile +
                                             L"\u201C kann nicht geschrieben werden.");
            }
        } else {
            current_->output = output;
        }
    }

    void CheckPlugin(const std::wstring& path) {
        PluginReport& r = *current_;
        std::string bytes;
        ReadBytes(path, bytes);
        const PeImage image = ReadPeImage(bytes);
        r.bits = image.bits;
        std::vector<CycleUsage> usage;
        std::vector<ULONG_PTR> warmedUp;
        const int warmUp = WarmUpCycles(options_.repeat);
        for (int cycle = 1; cycle <= options_.repeat; ++cycle) {
            if (!Cycle(path, cycle == 1)) return;
            r.cycles = cycle;
            if (options_.repeat == 1) break;
            std::vector<ULONG_PTR> handles = OwnHandles();
            usage.push_back({OpenHandles(handles), PrivateBytes(), FreeTlsSlots()});
            if (cycle == warmUp) warmedUp = std::move(handles);
        }
        if (options_.expectType && (!r.code || *r.code != *options_.expectType)) {
            r.problems.push_back(L"Der Rückgabetyp ist " +
                                 (r.code ? std::to_wstring(*r.code) : std::wstring(L"unbekannt")) +
                                 L", erwartet war " + std::to_wstring(*options_.expectType) + L".");
        }
        if (usage.size() > 1) {
            std::vector<std::wstring> types;
            for (const ULONG_PTR handle : OwnHandles()) {
                if (!std::binary_search(warmedUp.begin(), warmedUp.end(), handle))
                    types.push_back(HandleType(handle));
            }
            r.leaks = JudgeGrowth(usage, types, LinksMsvcrt(image));
        }
    }

    const CheckOptions& options_;
    std::wstring bridgePath_;
    Bindings bindings_;
    Win32Bridge bridge_;
    std::vector<PluginReport> reports_;
    PluginReport* current_ = nullptr;
    std::wstring currentCall_;
    bool finished_ = false;
    std::size_t emitted_ = 0;
};

Checker* running = nullptr;

// A plugin's own call of ExitProcess ends the check here instead: the
// report is closed and the exit code says that the plugin failed, whatever
// code the plugin chose.
void WINAPI ExitProcessOfAPlugin(UINT) {
    if (running) running->EndedByPlugin();
    TerminateProcess(GetCurrentProcess(), 1);
}

// Points a loaded module's imports of ExitProcess at ExitProcessOfAPlugin.
void CatchExitProcess(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name;
         ++d) {
        if (!d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), "ExitProcess") != 0) continue;
            DWORD old = 0;
            if (VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                               &old)) {
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(&ExitProcessOfAPlugin);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            }
        }
    }
}

}  // namespace
}  // namespace dllscope

int wmain(int argc, wchar_t** argv) {
    using namespace dllscope;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    std::wstring error;
    const std::optional<CheckOptions> options = ParseCheckArguments(arguments, error);
    if (options && options->help) {
        Out(kCheckUsage);
        return 0;
    }
    if (!options) {
        Err(error + L"\n\n" + kCheckUsage);
        return 2;
    }
    const std::wstring bridge = FullPath(
        options->bridge.empty() ? InFolder(ProgramFolder(), L"modbridge.dll") : options->bridge);
    std::string bytes;
    if (!ReadBytes(bridge, bytes)) {
        Err(L"Die Brücke \u201E" + bridge +
            L"\u201C gibt es nicht oder sie kann nicht gelesen werden.\n");
        return 2;
    }
    for (const std::wstring& plugin : options->plugins) {
        if (GetFileAttributesW(plugin.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Err(L"Das Plugin \u201E" + plugin + L"\u201C gibt es nicht.\n");
            return 2;
        }
    }
    if (!options->inputFile.empty() && !ReadBytes(options->inputFile, bytes)) {
        Err(L"Die Eingabedatei \u201E" + options->inputFile +
            L"\u201C kann nicht gelesen werden.\n");
        return 2;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Checker checker(*options, bridge);
    SetForeignCallObserver(&checker);
    running = &checker;
    checker.Begin();
    for (const std::wstring& plugin : options->plugins) checker.Check(plugin);
    const int code = checker.End();
    running = nullptr;
    SetForeignCallObserver(nullptr);
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
