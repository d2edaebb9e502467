#include "guard/win32/fault_place.h"

#include <cstring>
#include <cwchar>

#include "common/paths.h"
#include "guard/win32/guarded_run.h"

namespace dllscope {
namespace {

// The name of the export at or nearest below `offset` in a loaded module,
// read from its export directory within the image; empty when none lies
// below. A body for the guard: no destructors, the name goes to `name`.
struct NearestExport {
    const BYTE* base;
    ULONG_PTR offset;
    char name[128];
    ULONG_PTR at;

    void operator()() {
        name[0] = '\0';
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE) return;
        const DWORD size = nt->OptionalHeader.SizeOfImage;
        const IMAGE_DATA_DIRECTORY dir =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        const auto inside = [size](DWORD rva, DWORD count, DWORD width) {
            return rva < size && count <= (size - rva) / width;
        };
        if (!dir.VirtualAddress || !inside(dir.VirtualAddress, 1, sizeof(IMAGE_EXPORT_DIRECTORY)))
            return;
        const auto* exports =
            reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
        const DWORD functions = exports->NumberOfFunctions, names = exports->NumberOfNames;
        if (!inside(exports->AddressOfFunctions, functions, 4) ||
            !inside(exports->AddressOfNames, names, 4) ||
            !inside(exports->AddressOfNameOrdinals, names, 2)) {
            return;
        }
        const auto* rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
        const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
        DWORD best = names;
        for (DWORD i = 0; i < names; ++i) {
            if (ordinals[i] >= functions) continue;
            const DWORD rva = rvas[ordinals[i]];
            const bool forwarded = rva >= dir.VirtualAddress && rva - dir.VirtualAddress < dir.Size;
            if (forwarded || rva > offset || (best < names && rva <= at)) continue;
            if (!inside(nameRvas[i], 1, 1)) continue;
            best = i;
            at = rva;
        }
        if (best == names) return;
        const char* text = reinterpret_cast<const char*>(base + nameRvas[best]);
        std::size_t n = 0;
        while (n + 1 < sizeof name && nameRvas[best] + n < size && text[n]) {
            name[n] = text[n];
            ++n;
        }
        name[n] = '\0';
    }
};

}  // namespace

Place PlaceOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module)) {
        return {L"", Hex(reinterpret_cast<ULONG_PTR>(address), 1), L""};
    }
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring name = FileNameOf(std::wstring(path, n < MAX_PATH ? n : 0));
    const ULONG_PTR offset =
        reinterpret_cast<ULONG_PTR>(address) - reinterpret_cast<ULONG_PTR>(module);
    Place place{name, name + L"+" + Hex(offset, 1), L""};
    NearestExport nearest{reinterpret_cast<const BYTE*>(module), offset, {}, 0};
    Fault ignored;
    if (RunGuarded(nearest, ignored) && nearest.name[0]) {
        place.symbol = name + L"!" +
                       std::wstring(nearest.name, nearest.name + std::strlen(nearest.name)) + L"+" +
                       Hex(offset - nearest.at, 1);
    }
    return place;
}

std::wstring Location(const void* address) {
    const Place place = PlaceOf(address);
    if (place.module.empty()) return L"an Adresse " + place.offset;
    if (place.symbol.empty()) return L"in " + place.offset;
    return L"in " + place.symbol + L" (" + place.offset + L")";
}

std::wstring Hex(ULONG_PTR value, int digits) {
    wchar_t text[32];
    std::swprintf(text, 32, L"0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

}  // namespace dllscope
