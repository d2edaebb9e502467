#include <cwchar>

#include "common/paths.h"
#include "symbols/stack_frame.h"

namespace dllscope {

const wchar_t* const kDebugInfoHint =
    L"Datei und Zeile nennt Dllscope, wenn das Plugin mit Debug-Informationen übersetzt ist "
    L"(gcc/clang: -g, Free Pascal: -gw3, MSVC: /Zi).";

std::wstring SourceName(const std::wstring& file) {
    const std::size_t slash = file.find_last_of(L"/\\");
    return slash == std::wstring::npos ? file : file.substr(slash + 1);
}

std::wstring FrameWords(const StackFrame& f) {
    if (f.line != 0 && !f.file.empty()) {
        std::wstring words = SourceName(f.file) + L":" + std::to_wstring(f.line);
        return f.function.empty() ? words : words + L" (" + f.function + L")";
    }
    if (f.module.empty()) return L"an Adresse " + f.place;
    if (!f.function.empty()) {
        wchar_t offset[16];
        std::swprintf(offset, 16, L"+0x%X", static_cast<unsigned>(f.offset));
        return f.module + L"!" + f.function + offset + L" (" + f.place + L")";
    }
    return f.place;
}

std::wstring StackWords(const std::vector<StackFrame>& frames, std::size_t count) {
    std::wstring words;
    for (std::size_t i = 0; i < frames.size() && i < count; ++i) {
        words += i == 0 ? L"" : i == 1 ? L", aufgerufen aus " : L", ";
        words += FrameWords(frames[i]);
    }
    return words;
}

std::vector<StackFrame> FramesOfCall(std::vector<StackFrame> frames, const std::wstring& module) {
    const std::wstring own = LowerName(module);
    std::size_t keep = frames.empty() ? 0 : 1, ownFrames = 0;
    for (std::size_t i = 0; i < frames.size() && ownFrames < kMaxModuleFrames; ++i) {
        if (LowerName(frames[i].module) != own) continue;
        ++ownFrames;
        keep = i + 1;
    }
    frames.resize(keep);
    return frames;
}

bool LacksLines(const std::vector<StackFrame>& frames, const std::wstring& module) {
    const std::wstring own = LowerName(module);
    for (const StackFrame& f : frames)
        if (f.line == 0 && LowerName(f.module) == own) return true;
    return false;
}

}  // namespace dllscope
