#pragma once
// Where a plugin's thread spends its time, from samples of its stack: the
// lines of the plugin it was found at (time in another module, the C
// runtime's strstr or a system call, counts for the plugin's line that
// called it), and their words for a call that hangs and for a profile.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "symbols/stack_frame.h"

namespace dllscope {

// One sample: the frames of the thread's stack, innermost first (the place
// it ran at, then the plugin's return addresses found on its stack).
using SampledStack = std::vector<StackFrame>;

// A line of the plugin and the share of the samples found in it (0..1).
// Without debug information `file` is empty and `place` says where.
struct LineShare {
    std::wstring file;
    std::uint32_t line = 0;
    std::wstring function;
    std::wstring place;
    double share = 0;

    template <class F>
    void Fields(F& f) {
        f(file), f(line), f(function), f(place), f(share);
    }
};

// Where a call that runs too long was found: the stack of the sample that
// shows the busiest line, and every line with its share, largest first.
struct HangPlace {
    std::wstring module;  // the plugin's file name
    std::vector<StackFrame> stack;
    std::vector<LineShare> lines;
    std::uint32_t samples = 0;  // taken; those in no frame of the plugin count too

    template <class F>
    void Fields(F& f) {
        f(module), f(stack), f(lines), f(samples);
    }
};

// A hang's place, sampled when first asked for: a waiter that only counts
// the slices of its wait never stops the thread.
class HangSampling {
  public:
    virtual ~HangSampling() = default;
    virtual const HangPlace& Place() = 0;
};

// The samples' lines in the plugin `module`, largest share first (equal
// shares in the order of the source); `limit` lines at most.
std::vector<LineShare> LinesOf(const std::vector<SampledStack>& samples, const std::wstring& module,
                               std::size_t limit);
// The lines of the plugin's own time: of the samples found in the plugin
// only (its process's time elsewhere, waiting for a request, is not its).
std::vector<LineShare> HotLines(const std::vector<SampledStack>& samples,
                                const std::wstring& module, std::size_t limit);
// The summary of the samples of a call that hangs in `module`.
HangPlace PlaceOf(const std::vector<SampledStack>& samples, const std::wstring& module);

// "hängt in lines.c:42–43 (WaitForever, aufgerufen aus TsRun)"; empty when
// no sample was in the plugin.
std::wstring HangWords(const HangPlace& place);
// " und hängt in loop.c:12–13 (Spin, aufgerufen aus TsRun)"; empty where
// no sample found the plugin.
std::wstring HangPlaceWords(const HangPlace& place);
// " Datei und Zeile nennt Dllscope, …" where the samples found the plugin
// but it has no lines; else empty.
std::wstring HangLinesHint(const HangPlace& place);
// "93 % der Zeit in lines.c:51 (Rebuild)", for the first lines whose
// shares make up most of the time; empty without any.
std::wstring HotspotWords(const std::vector<LineShare>& lines);

}  // namespace dllscope
