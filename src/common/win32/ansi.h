#pragma once
// Strings at the library boundary: to the ANSI code page and back.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace dllscope {

// Text in a code page (CP_UTF8, CP_ACP, ...) and back.
std::string Encode(UINT codePage, const std::wstring& text);
std::wstring Decode(UINT codePage, const char* data, std::size_t size);

std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const char* data, std::size_t size);

// Whether a text passes through the ANSI code page unchanged.
bool PassesAnsi(const std::wstring& text);

// A path as the ANSI code page can carry it: the path itself when it passes
// (the common case), otherwise its short (8.3) form when that passes (for a
// file that does not exist yet, its folder's short form and its name);
// otherwise the path itself, which then does not pass.
std::wstring PassablePath(const std::wstring& path);

// The first character of a text that the ANSI code page cannot carry (a
// surrogate pair whole), or the empty string.
std::wstring FirstCharacterBeyondAnsi(const std::wstring& text);
// The distinct ones, in their order, at most `most`.
std::vector<std::wstring> CharactersBeyondAnsi(const std::wstring& text, std::size_t most);

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
