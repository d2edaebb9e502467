#include "host/win32/bulk_sections.h"

#include <cstring>

namespace dllscope {
namespace {

// Whether all of [view, view + size) is committed and readable.
bool Committed(const void* view, std::size_t size) {
    const auto* at = static_cast<const char*>(view);
    const char* const end = at + size;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(at, &region, sizeof region) != sizeof region) return false;
        if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
            return false;
        const char* const next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) return false;
        at = next;
    }
    return true;
}

}  // namespace

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
    // The section is the host's to make: pages it only reserved, or guards,
    // are refused, and what is read is read as the system reads another
    // process's memory, which refuses rather than faults.
    if (!Committed(view, size)) return false;
    bytes.resize(size);
    SIZE_T got = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), view, bytes.data(), size, &got) || got != size) {
        std::string().swap(bytes);
        return false;
    }
    return true;
}

}  // namespace dllscope
