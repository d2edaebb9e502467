#include "host/win32/usage_probe.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>

namespace dllscope {

std::vector<ULONG_PTR> OwnHandles() {
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<ULONG_PTR> own;
    std::vector<BYTE> buffer(1 << 16);
    for (int tries = 0; tries < 16; ++tries) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(
            kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<NTSTATUS>(0xC0000004)) {  // too small
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) return own;
        const ULONG entries = *reinterpret_cast<ULONG*>(buffer.data());
        const std::size_t room = (buffer.size() - sizeof(ULONG_PTR)) / sizeof(Entry);
        const auto* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
        for (ULONG i = 0; i < entries && i < room; ++i) {
            if (entry[i].ownerPid == GetCurrentProcessId()) own.push_back(entry[i].handle);
        }
        std::sort(own.begin(), own.end());
        return own;
    }
    return own;
}

long long OpenHandles(const std::vector<ULONG_PTR>& own) {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    return static_cast<long long>(own.size());
}

std::wstring HandleType(ULONG_PTR handle) {
    alignas(8) BYTE buffer[1024];
    ULONG needed = 0;
    if (NtQueryObject(reinterpret_cast<HANDLE>(handle), ObjectTypeInformation, buffer,
                      sizeof buffer, &needed) < 0) {
        return std::wstring();
    }
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
    if (!name->Buffer || name->Length > sizeof buffer) return std::wstring();
    return std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
}

long long PrivateBytes() {
    long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += static_cast<long long>(region.RegionSize);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

HeapCount HeapsInUse() {
    std::vector<HANDLE> heaps(64);
    for (int tries = 0; tries < 8; ++tries) {
        const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
        if (count == 0) return {};
        if (count <= heaps.size()) {
            heaps.resize(count);
            break;
        }
        heaps.resize(count + 16);
    }
    HeapCount in{0, static_cast<long long>(heaps.size())};
    // A damaged heap must not keep the walk going for ever.
    constexpr long long kMostEntries = 50 * 1000 * 1000;
    long long entries = 0;
    for (const HANDLE heap : heaps) {
        if (!HeapLock(heap)) return {};
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry) && ++entries < kMostEntries) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) in.bytes += entry.cbData;
        }
        HeapUnlock(heap);
    }
    return in;
}

long long FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (const DWORD slot : taken) TlsFree(slot);
    return static_cast<long long>(taken.size());
}

ProcessUsage UsageProbe::Usage(bool remember) {
    ProcessUsage usage;
    {
        std::vector<ULONG_PTR> handles = OwnHandles();
        usage.handles = OpenHandles(handles);
        if (remember) remembered_ = std::move(handles);
    }
    usage.privateBytes = PrivateBytes();
    usage.freeTlsSlots = FreeTlsSlots();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        usage.peakBytes = static_cast<long long>(memory.PeakPagefileUsage);
    // Last, when nothing of this count is held on the heap but what it keeps.
    const HeapCount heaps = HeapsInUse();
    usage.heapBytes = heaps.bytes;
    usage.heaps = heaps.heaps;
    return usage;
}

std::vector<std::wstring> UsageProbe::NewHandleTypes() {
    std::vector<std::wstring> types;
    for (const ULONG_PTR handle : OwnHandles()) {
        if (!std::binary_search(remembered_.begin(), remembered_.end(), handle))
            types.push_back(HandleType(handle));
    }
    return types;
}

}  // namespace dllscope
