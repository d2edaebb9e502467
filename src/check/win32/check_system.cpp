#include "check/win32/check_system.h"

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>

#include "common/paths.h"
#include "common/text_decoding.h"
#include "common/win32/ansi.h"
#include "common/win32/files.h"
#include "common/win32/system_error.h"
#include "host/win32/landed_fault.h"
#include "diagnosis/library_diagnosis.h"
#include "diagnosis/win32/library_files.h"

namespace dllscope {

bool Win32CheckSystem::ReadFile(const std::wstring& path, std::string& bytes) {
    return ReadWholeFile(path, bytes) == ERROR_SUCCESS;
}

bool Win32CheckSystem::WriteFile(const std::wstring& path, const std::string& bytes) {
    const auto create = [&path] {
        return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE file = create();
    // A folder named for output (--save-failures) is made when it is missing.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND &&
        CreateDirectoryW(FolderOf(path).c_str(), nullptr))
        file = create();
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::wstring Win32CheckSystem::DecodeFile(const std::string& bytes) {
    return DecodeFileText(bytes, dllscope::FromAnsi);
}

std::string Win32CheckSystem::ToAnsi(const std::wstring& text) { return dllscope::ToAnsi(text); }

std::wstring Win32CheckSystem::FromUtf8(const std::string& bytes) {
    return Decode(CP_UTF8, bytes.data(), bytes.size());
}

std::vector<std::wstring> Win32CheckSystem::BeyondAnsi(const std::wstring& text, std::size_t max) {
    return CharactersBeyondAnsi(text, max);
}

std::vector<std::wstring> Win32CheckSystem::FileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(InFolder(folder, L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

std::wstring Win32CheckSystem::Passable(const std::wstring& path) { return PassablePath(path); }

std::wstring Win32CheckSystem::ExchangeFilePath() {
    wchar_t temp[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    return InFolder(std::wstring(temp, n < MAX_PATH ? n : 0), L"dateiname.txt");
}

std::wstring HostCheckSystem::ExchangeFilePath() {
    const std::wstring folder = host_.process.TempFolder();
    return folder.empty() ? Win32CheckSystem::ExchangeFilePath()
                          : InFolder(folder, L"dateiname.txt");
}

std::wstring Win32CheckSystem::WhyNotLoaded(const std::wstring& path) {
    const DWORD error = lastLoadError_();
    const LoadFailure failure{error, SystemErrorText(error), sizeof(void*) == 8 ? 64 : 32,
                              LoaderSearchFolders()};
    DiskLibraryFiles files;
    return DiagnoseLibrary(path, failure, files);
}

// A fault landed here or reported by the plugin's host: the same parts.
bool Win32CheckSystem::AsFault(const std::exception& error, FaultRecord& fault) {
    if (const auto* f = dynamic_cast<const PluginProcessFault*>(&error)) {
        fault = f->Record();
        return true;
    }
    return LandedFault(error, lastCall, fault);
}

double Win32CheckSystem::Milliseconds() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CycleUsage Win32CheckSystem::Usage(bool remember) { return usage_.Usage(remember); }

std::vector<std::wstring> Win32CheckSystem::NewHandleTypes() { return usage_.NewHandleTypes(); }

std::vector<std::wstring> Win32CheckSystem::StrayProcesses() {
    std::vector<std::wstring> programs;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return programs;
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        all.push_back(entry);
    CloseHandle(snapshot);
    // Children first, then theirs.
    std::vector<DWORD> family{GetCurrentProcessId()};
    for (std::size_t i = 0; i < family.size() && family.size() < 64; ++i) {
        for (const PROCESSENTRY32W& p : all) {
            if (p.th32ParentProcessID != family[i] || p.th32ProcessID == family[i] ||
                std::find(family.begin(), family.end(), p.th32ProcessID) != family.end())
                continue;
            family.push_back(p.th32ProcessID);
            programs.push_back(p.szExeFile);
        }
    }
    return programs;
}

void Win32CheckSystem::StartSampling(const std::wstring& module) {
    sampler_.reset();
    // The plugin runs on this thread.
    sampler_ = std::make_unique<BackgroundSampler>(GetCurrentProcess(), GetCurrentThread(), module);
}

std::vector<SampledStack> Win32CheckSystem::StopSampling() {
    std::vector<SampledStack> samples = sampler_ ? sampler_->Stop() : std::vector<SampledStack>();
    sampler_.reset();
    return samples;
}

void HostCheckSystem::StartSampling(const std::wstring& module) {
    sampler_.reset();
    host_.process.Launch();  // a host ended by an earlier page starts again now
    if (host_.process.MainThread())
        sampler_ = std::make_unique<BackgroundSampler>(host_.process.ProcessHandle(),
                                                       host_.process.MainThread(), module);
}

bool HostCheckSystem::StartCoverage(const std::wstring& path, std::wstring& why) {
    std::string file;
    if (!ReadFile(path, file)) {
        why = L"Die Zeilenabdeckung kann \u201E" + path + L"\u201C nicht lesen.";
        return false;
    }
    return coverage_.Start(path, Passable(path), file, why);
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD n =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(n < full.size() ? n : 0);
    return full.empty() ? path : full;
}

}  // namespace dllscope
