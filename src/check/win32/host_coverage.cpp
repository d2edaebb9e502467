#include "check/win32/host_coverage.h"

#include <cstddef>
#include <cstring>
#include <exception>

#include "common/paths.h"
#include "host/coverage_marks.h"
#include "sampling/win32/module_coverage.h"

namespace dllscope {

bool HostCoverage::Start(const std::wstring& path, const std::wstring& passable,
                         const std::string& file, std::wstring& why) {
    Stop();
    map_ = ModuleCoverageMap(path, file);
    const std::wstring name = FileNameOf(path);
    if (map_.Rvas().empty()) {
        why = L"Die Abdeckung findet in \u201E" + name +
              L"\u201C weder Zeilen noch Funktionen (mit -g bauen).";
        return false;
    }
    const auto count = static_cast<std::uint32_t>(map_.Rvas().size());
    if (count > kMaxCoverageMarks) {
        why = L"Die Zeilenabdeckung misst höchstens " + std::to_wstring(kMaxCoverageMarks) +
              L" Stellen; \u201E" + name + L"\u201C hat " + std::to_wstring(count) + L".";
        return false;
    }
    static unsigned made = 0;
    name_ = L"Local\\dllscope-lines-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++made);
    const std::size_t bytes = CoverageMarksBytes(count);
    section_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(bytes), name_.c_str());
    view_ =
        section_
            ? static_cast<unsigned char*>(MapViewOfFile(section_, FILE_MAP_ALL_ACCESS, 0, 0, bytes))
            : nullptr;
    if (!view_) {
        Stop();
        why = L"Die Zeilenabdeckung kann keinen Speicher für ihre Marken anlegen.";
        return false;
    }
    const CoverageMarksHead head{kCoverageMarksMagic, count, 0, 0};
    std::memcpy(view_, &head, sizeof head);
    std::memcpy(view_ + sizeof head, map_.Rvas().data(), count * sizeof(std::uint32_t));
    module_ = name;
    alias_ = FileNameOf(passable);
    host_.client.End();  // a host that marked another plugin's lines goes
    return true;
}

// A host that cannot mark the lines leaves them unmarked: the run goes on,
// and what it cannot say is no finding of the plugin's.
void HostCoverage::Keep() {
    if (!view_ || marked_ == host_.client.Generation()) return;
    try {
        HostCover(host_.client, name_, module_, alias_ == module_ ? std::wstring() : alias_);
        marked_ = host_.client.Generation();
    } catch (const std::exception&) {
    }
}

LineCoverage HostCoverage::Now() const {
    if (!view_) return {};
    const auto count = static_cast<std::uint32_t>(map_.Rvas().size());
    return map_.Of(view_ + CoverageFlagsOffset(count), count);
}

std::size_t HostCoverage::Reached() const {
    if (!view_) return 0;
    const auto* count =
        reinterpret_cast<const volatile LONG*>(view_ + offsetof(CoverageMarksHead, reached));
    return *count > 0 ? static_cast<std::size_t>(*count) : 0;
}

void HostCoverage::Stop() {
    if (view_) host_.client.End();  // its host keeps no marks for the next plugin
    if (view_) UnmapViewOfFile(view_);
    if (section_) CloseHandle(section_);
    view_ = nullptr;
    section_ = nullptr;
    marked_.reset();
}

}  // namespace dllscope
