#include "host/win32/bulk_sections.h"

#include <cstring>

namespace dllscope {

HANDLE SectionWith(const std::string& bytes) {
    const auto size = static_cast<unsigned long long>(bytes.size());
    const HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
    if (!section) return nullptr;
    void* const view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, bytes.size());
    if (!view) {
        CloseHandle(section);
        return nullptr;
    }
    std::memcpy(view, bytes.data(), bytes.size());
    UnmapViewOfFile(view);
    return section;
}

bool TakeFromSection(HANDLE section, std::uint32_t size, std::string& bytes) {
    // A view of `size` bytes fails for a handle that is no section or a
    // section that is smaller: nothing beyond it is read.
    void* const view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, size);
    if (!view) return false;
    struct Unmap {
        void* view;
        ~Unmap() { UnmapViewOfFile(view); }
    } unmap{view};
    bytes.assign(static_cast<const char*>(view), size);
    return true;
}

}  // namespace dllscope
