#pragma once
// Strings at the library boundary: to the ANSI code page and back.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace dllscope {

std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const char* data, std::size_t size);

// A NUL-terminated ANSI copy of a string for one call. WriteBack converts the
// whole buffer, its length unchanged, back into the caller's variable.
class AnsiArg {
  public:
    explicit AnsiArg(const std::wstring& text);
    char* get() { return buffer_.data(); }
    void WriteBack(std::wstring& target) const;

  private:
    std::vector<char> buffer_;  // the text and its NUL
};

}  // namespace dllscope
