#pragma once
// The marks of a plugin's lines, in a section its caller makes and its host
// maps: the caller writes the addresses to mark (relative to the plugin's
// image base, ascending), the host notes in the byte beside each that it
// ran. The section outlives a host that ends; a new host marks only what
// no earlier one saw run.
#include <cstddef>
#include <cstdint>

namespace dllscope {

struct CoverageMarksHead {
    std::uint32_t magic = 0;
    std::uint32_t count = 0;
    std::int32_t reached = 0;  // the host counts each mark it takes back
    std::uint32_t reserved = 0;
};
inline constexpr std::uint32_t kCoverageMarksMagic = 0x4D435344;  // "DSCM"
// More marks than a plugin of a few hundred thousand lines needs.
inline constexpr std::uint32_t kMaxCoverageMarks = 1u << 22;

// The section's bytes for `count` marks: the head, the addresses, the flags.
constexpr std::size_t CoverageMarksBytes(std::uint32_t count) {
    return sizeof(CoverageMarksHead) + std::size_t{count} * 5;
}
constexpr std::size_t CoverageFlagsOffset(std::uint32_t count) {
    return sizeof(CoverageMarksHead) + std::size_t{count} * 4;
}

}  // namespace dllscope
