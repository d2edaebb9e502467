#pragma once
// A temporary folder of a process's own: its TEMP and TMP, made fresh and
// removed with whatever is left in it, so that what one check or one
// plugin's host writes there (the exchange file, a plugin's own files)
// never meets another's.
#include <string>

namespace dllscope {

class PrivateTempFolder {
  public:
    // A new folder named after `prefix` in the current temporary folder.
    explicit PrivateTempFolder(const wchar_t* prefix);
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
    // Empty when none could be made: then the shared one serves.
    const std::wstring& Path() const { return path_; }
    // Removes it now, as far as it can (before an end that skips the
    // destructors).
    void Remove();

  private:
    std::wstring path_;
};

// This process's environment with TEMP and TMP set to `folder`, as
// CreateProcessW takes it with CREATE_UNICODE_ENVIRONMENT.
std::wstring EnvironmentWithTemp(const std::wstring& folder);
// Makes `folder` this process's TEMP and TMP (and its children's).
void UseTempFolder(const std::wstring& folder);

}  // namespace dllscope
