#pragma once
// Samples of where a thread runs, taken from another thread (of its own
// process or of another): the thread is stopped only while its context and
// the top of its stack are copied (nothing is allocated or locked
// meanwhile: it may hold the heap's lock or the loader's), and the copies
// become frames after it runs on.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sampling/code_samples.h"

namespace dllscope {

class ThreadSampler {
  public:
    // The handles stay the caller's; `module` is the plugin's file name.
    ThreadSampler(HANDLE process, HANDLE thread, std::wstring module);
    ThreadSampler(const ThreadSampler&) = delete;
    ThreadSampler& operator=(const ThreadSampler&) = delete;

    // One sample; false when the thread could not be stopped or read.
    bool Take();
    std::size_t Count() const { return raw_.size(); }
    // The samples taken, as frames: the place, then the plugin's frames.
    std::vector<SampledStack> Stacks();

  private:
    struct Module {
        std::uintptr_t base = 0, end = 0;
        std::wstring path, name;
    };
    struct Raw {
        std::uintptr_t ip = 0;
        std::vector<std::uintptr_t> returns;  // into the plugin, innermost first
    };
    void FindModules();
    std::size_t misses_ = 0;  // samples taken before the plugin was found
    const Module* ModuleAt(std::uintptr_t address) const;
    bool AfterCall(std::uintptr_t address);
    StackFrame FrameAt(std::uintptr_t address, bool caller);

    HANDLE process_, thread_;
    std::wstring module_;
    std::vector<Module> modules_;
    const Module* plugin_ = nullptr;
    std::uintptr_t stackBase_ = 0, stackLimit_ = 0;
    std::vector<std::uintptr_t> copy_;  // the stack's top, made before the thread is stopped
    std::vector<Raw> raw_;
    std::map<std::uintptr_t, bool> calls_;
    std::map<std::pair<std::uintptr_t, bool>, StackFrame> frames_;
};

// Samples taken about every millisecond on a thread of their own, from the
// start until Stop, kMaxBackgroundSamples at most.
inline constexpr std::size_t kMaxBackgroundSamples = 20000;
class BackgroundSampler {
  public:
    // The handles stay the caller's: the sampler works with copies of its
    // own, which stay valid whatever the caller closes meanwhile (a handle
    // closed and made again could name another thread).
    BackgroundSampler(HANDLE process, HANDLE thread, std::wstring module);
    ~BackgroundSampler();
    BackgroundSampler(const BackgroundSampler&) = delete;
    BackgroundSampler& operator=(const BackgroundSampler&) = delete;
    // Stops the sampling: the samples as frames.
    std::vector<SampledStack> Stop();

  private:
    static DWORD WINAPI Run(void* self);
    struct Copies {
        Copies(HANDLE process, HANDLE thread);
        ~Copies();
        HANDLE process = nullptr, thread = nullptr;
    };
    Copies copies_;
    ThreadSampler sampler_;
    HANDLE stop_ = nullptr, worker_ = nullptr;
};

// The place of a call that runs too long in `module`: eight samples over
// 160 ms of the thread that runs it.
HangPlace SampleHang(HANDLE process, HANDLE thread, const std::wstring& module);

}  // namespace dllscope
