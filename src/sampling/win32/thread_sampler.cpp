#include "sampling/win32/thread_sampler.h"

#include <psapi.h>

#include <algorithm>

#include "common/paths.h"
#include "symbols/win32/symbol_store.h"

namespace dllscope {
namespace {

// The top of the stack a sample copies: enough for the frames of a plugin
// a few calls deep; deeper callers go unnamed.
constexpr std::size_t kStackWindow = 48 * 1024;
constexpr std::size_t kMaxReturns = kMaxModuleFrames;

struct ThreadBasics {  // THREAD_BASIC_INFORMATION
    LONG exitStatus;
    void* teb;
    void* clientId[2];
    ULONG_PTR affinity;
    LONG priority, basePriority;
};
using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

// Whether the bytes before `at` end with a call: E8 rel32, or FF /2 with
// any of its address forms (and a prefix).
bool EndsWithCall(const unsigned char (&b)[8]) {
    if (b[3] == 0xE8) return true;
    for (int k = 2; k <= 7; ++k)
        if (b[8 - k] == 0xFF && ((b[9 - k] >> 3) & 7) == 2) return true;
    return false;
}

}  // namespace

ThreadSampler::ThreadSampler(HANDLE process, HANDLE thread, std::wstring module)
    : process_(process), thread_(thread), module_(std::move(module)) {
    copy_.resize(kStackWindow / sizeof(std::uintptr_t));
    raw_.reserve(64);
    FindModules();
    // The stack's extent, from the thread's own block.
    static const auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    ThreadBasics basics{};
    NT_TIB tib{};
    if (query && query(thread_, 0, &basics, sizeof basics, nullptr) >= 0 &&
        ReadProcessMemory(process_, basics.teb, &tib, sizeof tib, nullptr)) {
        stackBase_ = reinterpret_cast<std::uintptr_t>(tib.StackBase);
        stackLimit_ = reinterpret_cast<std::uintptr_t>(tib.StackLimit);
    }
}

void ThreadSampler::FindModules() {
    modules_.clear();
    plugin_ = nullptr;
    std::vector<HMODULE> handles(1024);
    DWORD needed = 0;
    if (!EnumProcessModules(process_, handles.data(),
                            static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed))
        return;
    handles.resize(std::min<std::size_t>(handles.size(), needed / sizeof(HMODULE)));
    const std::wstring own = LowerName(module_);
    for (HMODULE h : handles) {
        MODULEINFO info{};
        if (!GetModuleInformation(process_, h, &info, sizeof info)) continue;
        std::wstring path(MAX_PATH * 4, L'\0');
        const DWORD n =
            GetModuleFileNameExW(process_, h, &path[0], static_cast<DWORD>(path.size()));
        path.resize(n < path.size() ? n : 0);
        Module m;
        m.base = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
        m.end = m.base + info.SizeOfImage;
        m.path = path;
        m.name = FileNameOf(path);
        modules_.push_back(std::move(m));
    }
    for (const Module& m : modules_)
        if (LowerName(m.name) == own) plugin_ = &m;
}

bool ThreadSampler::Take() {
    // A plugin not loaded yet is looked for again now and then.
    if (!plugin_ && ++misses_ % 16 == 0) FindModules();
    // Stopped only for the two copies: nothing here allocates or locks.
    if (SuspendThread(thread_) == static_cast<DWORD>(-1)) return false;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    bool ok = GetThreadContext(thread_, &context) != 0;
#ifdef _WIN64
    const std::uintptr_t ip = context.Rip, sp = context.Rsp;
#else
    const std::uintptr_t ip = context.Eip, sp = context.Esp;
#endif
    SIZE_T got = 0;
    if (ok && sp >= stackLimit_ && sp < stackBase_) {
        const std::size_t bytes = std::min<std::size_t>(kStackWindow, stackBase_ - sp);
        if (!ReadProcessMemory(process_, reinterpret_cast<void*>(sp), copy_.data(), bytes, &got))
            got = 0;
    }
    ResumeThread(thread_);
    if (!ok) return false;
    Raw raw;
    raw.ip = ip;
    if (plugin_) {
        for (std::size_t i = 0; i < got / sizeof(std::uintptr_t); ++i) {
            const std::uintptr_t word = copy_[i];
            if (word < plugin_->base || word >= plugin_->end || !AfterCall(word)) continue;
            raw.returns.push_back(word);
            if (raw.returns.size() == kMaxReturns) break;
        }
    }
    raw_.push_back(std::move(raw));
    return true;
}

// Whether `address` follows a call instruction: a return address, not a
// pointer to data that happens to lie in the module.
bool ThreadSampler::AfterCall(std::uintptr_t address) {
    const auto known = calls_.find(address);
    if (known != calls_.end()) return known->second;
    unsigned char bytes[8] = {};
    const bool call = address >= plugin_->base + 8 &&
                      ReadProcessMemory(process_, reinterpret_cast<void*>(address - 8), bytes,
                                        sizeof bytes, nullptr) &&
                      EndsWithCall(bytes);
    if (calls_.size() < 65536) calls_[address] = call;
    return call;
}

const ThreadSampler::Module* ThreadSampler::ModuleAt(std::uintptr_t address) const {
    for (const Module& m : modules_)
        if (address >= m.base && address < m.end) return &m;
    return nullptr;
}

StackFrame ThreadSampler::FrameAt(std::uintptr_t address, bool caller) {
    const auto key = std::make_pair(address, caller);
    const auto known = frames_.find(key);
    if (known != frames_.end()) return known->second;
    const Module* m = ModuleAt(address);
    StackFrame frame = m ? FrameInModule(m->path, m->base, address, caller)
                         : FrameInModule(std::wstring(), 0, address, caller);
    if (frames_.size() < 65536) frames_[key] = frame;
    return frame;
}

std::vector<SampledStack> ThreadSampler::Stacks() {
    if (!plugin_) FindModules();  // a plugin still loading may be there by now
    std::vector<SampledStack> stacks;
    stacks.reserve(raw_.size());
    for (const Raw& raw : raw_) {
        SampledStack stack{FrameAt(raw.ip, false)};
        for (const std::uintptr_t r : raw.returns) {
            // The place itself in the plugin: the first return is its caller's.
            if (r == raw.ip) continue;
            stack.push_back(FrameAt(r, true));
        }
        stacks.push_back(std::move(stack));
    }
    return stacks;
}

BackgroundSampler::Copies::Copies(HANDLE p, HANDLE t) {
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, p, self, &process, 0, FALSE, DUPLICATE_SAME_ACCESS))
        process = nullptr;
    if (!DuplicateHandle(self, t, self, &thread, 0, FALSE, DUPLICATE_SAME_ACCESS)) thread = nullptr;
}

BackgroundSampler::Copies::~Copies() {
    for (const HANDLE h : {process, thread})
        if (h) CloseHandle(h);
}

BackgroundSampler::BackgroundSampler(HANDLE process, HANDLE thread, std::wstring module)
    : copies_(process, thread), sampler_(copies_.process, copies_.thread, std::move(module)) {
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop_ && copies_.process && copies_.thread)
        worker_ = CreateThread(nullptr, 256 * 1024, Run, this, 0, nullptr);
}

BackgroundSampler::~BackgroundSampler() {
    Stop();
    if (stop_) CloseHandle(stop_);
}

DWORD WINAPI BackgroundSampler::Run(void* self) {
    auto& s = *static_cast<BackgroundSampler*>(self);
    while (WaitForSingleObject(s.stop_, 1) == WAIT_TIMEOUT)
        if (s.sampler_.Count() < kMaxBackgroundSamples && !s.sampler_.Take()) break;
    return 0;
}

std::vector<SampledStack> BackgroundSampler::Stop() {
    if (!worker_) return {};
    SetEvent(stop_);
    WaitForSingleObject(worker_, INFINITE);
    CloseHandle(worker_);
    worker_ = nullptr;
    return sampler_.Stacks();
}

HangPlace SampleHang(HANDLE process, HANDLE thread, const std::wstring& module) {
    ThreadSampler sampler(process, thread, module);
    for (int i = 0; i < 8; ++i) {
        if (i > 0) Sleep(20);
        if (!sampler.Take()) break;
    }
    return PlaceOf(sampler.Stacks(), module);
}

}  // namespace dllscope
