#pragma once
// What the bridge notices of a plugin export that does not keep Tagsmith's
// calling convention on 32 bits (__stdcall: the export removes its
// arguments from the stack). The bridge says it tersely, "TsRun 4": the
// export and the bytes of the caller's stack it did not give back
// (negative: it removed more than it was given).
#include <cstddef>
#include <string>
#include <vector>

namespace dllscope {

// The warning for a note about the plugin file `pluginFile`:
// "Das Plugin „x.dll“ exportiert TsRun als __cdecl; Tagsmith ruft __stdcall
// auf (WINAPI vergessen?)". Empty for an empty note or one that is not of
// that form (the bridge is not this program's own).
std::wstring StackWarning(const std::wstring& pluginFile, const std::wstring& note);

// Adds `warning` to `warnings` unless it is empty or there already.
void AddOnce(std::vector<std::wstring>& warnings, const std::wstring& warning);

// The warnings a bridge collects until they are taken, each once.
// The warnings kept until taken: a host's answer is the plugin's to write,
// so a few, of a few words each.
inline constexpr std::size_t kMaxStackWarnings = 16;
inline constexpr std::size_t kMaxStackWarningLength = 1024;
class StackWarnings {
  public:
    void Add(const std::wstring& warning) {
        if (warnings_.size() < kMaxStackWarnings)
            AddOnce(warnings_, warning.substr(0, kMaxStackWarningLength));
    }
    void Add(const std::vector<std::wstring>& warnings) {
        for (const std::wstring& warning : warnings) Add(warning);
    }
    std::vector<std::wstring> Take() {
        std::vector<std::wstring> taken;
        taken.swap(warnings_);
        return taken;
    }

  private:
    std::vector<std::wstring> warnings_;
};

}  // namespace dllscope
