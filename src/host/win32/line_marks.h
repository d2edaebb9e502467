#pragma once
// The host's marks on a plugin's lines: a one-shot breakpoint on the first
// byte of each, set whenever the plugin's module is loaded (before its
// entry point runs) and taken back the first time it is reached, by an
// exception handler of the host's that runs before every other. The byte
// goes back before the plugin goes on: what it computes stays its own. A
// breakpoint that is not one of these (the plugin's own) goes on to the
// handlers it would reach without them.
#include <string>

namespace dllscope {

class LineMarks {
  public:
    // Marks the lines the section named `section` lists in the module named
    // `module` (a file name; `alias`: the same file's short name), now if it
    // is loaded and on every load from now on. The number of marks set now;
    // throws RuntimeError in words where the section cannot be used.
    static unsigned Start(const std::wstring& section, const std::wstring& module,
                          const std::wstring& alias);
};

}  // namespace dllscope
