#pragma once
#include "plugin/bridge.h"

namespace dllscope {

// LoadLibraryA and FreeLibrary; the loads are not checked.
class Win32Libraries : public Libraries {
  public:
    LibraryHandle Load(const std::wstring& path) override;
    void Free(LibraryHandle handle) override;
    // The system's error code of the last load that failed.
    unsigned long LastLoadError() const { return lastLoadError_; }

  private:
    unsigned long lastLoadError_ = 0;
};

// Writes out what plugins have printed and their C runtime still holds:
// the streams of every runtime DLL loaded in this process (a runtime linked
// into a plugin statically is out of reach).
void FlushRuntimeStreams();

}  // namespace dllscope
