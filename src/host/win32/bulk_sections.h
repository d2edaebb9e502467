#pragma once
// Large bytes between a plugin's host and its caller through a section of
// shared memory instead of the pipe: under Wine a pipe moves some 90 MB a
// second, a copy into memory both can map many times that.
#include <windows.h>

#include <cstdint>
#include <string>

namespace dllscope {

// A new section holding `bytes`; null when none can be made.
HANDLE SectionWith(const std::string& bytes);
// The first `size` bytes of a section into `bytes`; false when `section` is
// no section of at least that size. Throws bad_alloc when there is no room.
bool TakeFromSection(HANDLE section, std::uint32_t size, std::string& bytes);

}  // namespace dllscope
