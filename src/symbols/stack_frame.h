#pragma once
// A frame of a call stack as the reports name it, and its words: the source
// line and function where the module's debug information knows them, else
// the module and offset.
#include <cstdint>
#include <string>
#include <vector>

namespace dllscope {

struct StackFrame {
    std::wstring module;    // "lines.dll"; empty for an address outside every module
    std::wstring function;  // empty where unknown
    std::wstring file;      // the source file as the compiler recorded it; empty where unknown
    std::uint32_t line = 0;
    std::wstring place;        // "lines.dll+0x139F", or the bare address
    std::uint32_t offset = 0;  // of the address in its function, where that is known

    template <class F>
    void Fields(F& f) {
        f(module), f(function), f(file), f(line), f(place), f(offset);
    }
};

// The frames a report names at most of the module it is about.
inline constexpr std::size_t kMaxModuleFrames = 16;

// "lines.c:24 (HandleTag)", "lines.dll!TsRun+0x1C (lines.dll+0x139F)",
// "lines.dll+0x139F", "an Adresse 0x58585858".
std::wstring FrameWords(const StackFrame& frame);
// The first `count` frames: "lines.c:24 (HandleTag), aufgerufen aus
// lines.c:35 (ParseDocument), lines.c:61 (TsRun)".
std::wstring StackWords(const std::vector<StackFrame>& frames, std::size_t count);
// The frames of a call into `module`, innermost first: up to its outermost
// frame (what lies below belongs to the caller), at most kMaxModuleFrames
// of its own; just the first where none is its own.
std::vector<StackFrame> FramesOfCall(std::vector<StackFrame> frames, const std::wstring& module);
// Whether any frame lies in `module` without a line of source.
bool LacksLines(const std::vector<StackFrame>& frames, const std::wstring& module);
// The last component of a source path, Unix or Windows form.
std::wstring SourceName(const std::wstring& file);

// What a report adds for a plugin built without debug information.
extern const wchar_t* const kDebugInfoHint;

}  // namespace dllscope
