#pragma once
// How the editor pane reads a file's bytes as text.
#include <cstddef>
#include <functional>
#include <string>

namespace dllscope {

enum class TextEncoding { Utf8Bom, Utf16LeBom, Utf16BeBom, Utf8, Ansi };

// A byte-order mark decides; without one, valid UTF-8 is UTF-8 and anything
// else is taken to be in the ANSI code page.
TextEncoding DetectEncoding(const std::string& bytes);

bool IsValidUtf8(const char* data, std::size_t size);

// Converts bytes of the ANSI code page to UTF-16.
using AnsiDecoder = std::function<std::wstring(const char* data, std::size_t size)>;

// The file's text as UTF-16 code units, without the byte-order mark. A NUL
// character, which the pane cannot hold, becomes U+FFFD; so does the odd last
// byte of a UTF-16 file.
std::wstring DecodeFileText(const std::string& bytes, const AnsiDecoder& fromAnsi);

}  // namespace dllscope
