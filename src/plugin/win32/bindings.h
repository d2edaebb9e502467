#pragma once
// Exports bound by library name and export name at their first call, and
// kept for the rest of the run.
#include <windows.h>

#include <map>
#include <string>
#include <utility>

namespace dllscope {

class Bindings {
  public:
    Bindings() = default;
    Bindings(const Bindings&) = delete;
    Bindings& operator=(const Bindings&) = delete;

    // The address of `exportName` in `library` (as LoadLibraryA takes it).
    // Throws RuntimeError naming the library, or the library and the export.
    FARPROC Resolve(const std::wstring& library, const char* exportName);

    // The same, as a typed function pointer.
    template <class Fn>
    Fn Get(const std::wstring& library, const char* exportName) {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Resolve(library, exportName)));
    }

    // An export the library may lack: nullptr then.
    template <class Fn>
    Fn Find(const std::wstring& library, const char* exportName) {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(Bind(library, exportName, false)));
    }

  private:
    FARPROC Bind(const std::wstring& library, const char* exportName, bool required);
    std::map<std::pair<std::wstring, std::string>, FARPROC> bound_;
};

}  // namespace dllscope
