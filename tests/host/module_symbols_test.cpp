// The symbol reader on the plugin with faults at known lines, as gcc
// writes it for both bitnesses: DWARF 5, DWARF 4, stripped, and damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "sampling/line_coverage.h"
#include "symbols/module_symbols.h"
#include "symbols/pe_layout.h"

namespace dllscope {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The line of the source that ends with the marker "line:NAME".
std::uint32_t MarkedLine(const std::string& name) {
    std::istringstream source(ReadAll(DLLSCOPE_LINES_SOURCE));
    std::string text;
    for (std::uint32_t line = 1; std::getline(source, text); ++line)
        if (text.find("/* line:" + name + " */") != std::string::npos) return line;
    ADD_FAILURE() << "no marker " << name;
    return 0;
}

std::string Fixture(int bits, const std::string& kind) {
    return std::string(DLLSCOPE_LINES_DIR) + "/lines" + std::to_string(bits) + "-" + kind + ".dll";
}

// Every line of the fixture's source that some address of the image
// compiles to, with the functions those addresses lie in.
std::map<std::uint32_t, std::set<std::string>> LinesOfSource(const ModuleSymbols& symbols,
                                                             std::uint32_t imageSize) {
    std::map<std::uint32_t, std::set<std::string>> lines;
    for (std::uint32_t rva = 0; rva < imageSize; ++rva) {
        const SourcePlace p = symbols.At(rva);
        if (p.file.size() >= 14 && p.file.compare(p.file.size() - 14, 14, "lines_plugin.c") == 0)
            lines[p.line].insert(p.function);
    }
    return lines;
}

std::uint32_t ExportRva(const PeLayout& pe, const std::string& name) {
    for (const PeExport& e : pe.exports)
        if (e.name == name) return e.rva;
    ADD_FAILURE() << "no export " << name;
    return 0;
}

class LinesOfEachBuild : public testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(LinesOfEachBuild, NameTheFunctionAndLineOfEveryMarkedStatement) {
    const auto [bits, kind] = GetParam();
    const std::string bytes = ReadAll(Fixture(bits, kind));
    const PeLayout pe = ReadPeLayout(bytes);
    ASSERT_TRUE(pe.valid);
    EXPECT_EQ(pe.bits, bits);
    const ModuleSymbols symbols(bytes);
    ASSERT_TRUE(symbols.HasLines());
    EXPECT_FALSE(symbols.Cut());
    const auto lines = LinesOfSource(symbols, pe.imageSize);
    const std::map<std::string, std::string> marked = {
        {"fault", "HandleTag"}, {"parse", "ParseDocument"}, {"hang", "WaitForever"},
        {"deep", "CountDeep"},  {"copy", "CopyTitle"},      {"hot", "Rebuild"},
        {"run", "TsRun"}};
    for (const auto& [marker, function] : marked) {
        const auto it = lines.find(MarkedLine(marker));
        ASSERT_NE(it, lines.end()) << marker;
        EXPECT_EQ(it->second, std::set<std::string>{function}) << marker;
    }
    // A return address points past its call: looked up as a caller, the
    // byte after TsRun's last instruction still belongs to TsRun.
    const std::uint32_t run = ExportRva(pe, "TsRun");
    EXPECT_EQ(symbols.At(run).function, "TsRun");
    std::uint32_t begin = 0, end = 0;
    ASSERT_TRUE(symbols.Extent(run + 1, begin, end));
    EXPECT_EQ(begin, run);
    EXPECT_EQ(symbols.At(end, true).function, "TsRun");
    EXPECT_NE(symbols.At(end).function, "TsRun");
}

INSTANTIATE_TEST_SUITE_P(Builds, LinesOfEachBuild,
                         testing::Combine(testing::Values(32, 64),
                                          testing::Values("dwarf5", "dwarf4")));

// Without debug information a function is named only where the file says
// where it begins and ends (the 64-bit unwind table, the 32-bit call frame
// table) and an export begins it: a static helper after an export is no
// part of that export.
TEST(ModuleSymbols, AStrippedPluginNamesExportsOnlyForTheirOwnExtent) {
    for (int bits : {32, 64}) {
        SCOPED_TRACE(bits);
        const std::string full = ReadAll(Fixture(bits, "dwarf5"));
        const std::string stripped = ReadAll(Fixture(bits, "stripped"));
        const ModuleSymbols withLines(full), without(stripped);
        EXPECT_FALSE(without.HasLines());
        EXPECT_FALSE(without.HasDebugSections());
        const PeLayout pe = ReadPeLayout(full);
        std::uint32_t helper = 0;
        for (std::uint32_t rva = 0; rva < pe.imageSize && !helper; ++rva)
            if (withLines.At(rva).function == "HandleTag") helper = rva;
        ASSERT_NE(helper, 0u);
        EXPECT_EQ(without.At(helper).function, "");
        const std::uint32_t run = ExportRva(pe, "TsRun");
        EXPECT_EQ(without.At(run + 2).function, "TsRun");
        std::uint32_t begin = 0, end = 0;
        ASSERT_TRUE(without.Extent(helper, begin, end));
        EXPECT_LE(begin, helper);
        EXPECT_EQ(without.At(begin).function, "");
        EXPECT_TRUE(withLines.Extent(helper, begin, end));
    }
}

// Debug sections of random bytes: read without a crash (the sanitizers
// watch), what is read stays inside the module, and the exports still name
// their functions.
TEST(ModuleSymbols, DamagedDebugSectionsAreReadSafely) {
    const std::string original = ReadAll(Fixture(64, "dwarf5"));
    const PeLayout pe = ReadPeLayout(original);
    const std::uint32_t run = ExportRva(pe, "TsRun");
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (int round = 0; round < 24; ++round) {
        std::string bytes = original;
        for (const PeSection& s : pe.sections) {
            if (s.name.rfind(".debug_", 0) != 0 || (round % 3 == 1 && s.name != ".debug_info"))
                continue;
            const std::size_t at = static_cast<std::size_t>(s.bytes.data() - original.data());
            // Whole sections, or a few bytes of each.
            const std::size_t count = round % 3 == 2 ? 16 : s.bytes.size();
            for (std::size_t i = 0; i < count; ++i) {
                seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
                bytes[at + (count == s.bytes.size() ? i : seed % s.bytes.size())] =
                    static_cast<char>(seed >> 24);
            }
        }
        const ModuleSymbols symbols(bytes);
        EXPECT_EQ(symbols.At(run + 2, false).function.empty(), false) << round;
        for (std::uint32_t rva = 0; rva < pe.imageSize; rva += 7) {
            const SourcePlace p = symbols.At(rva);
            EXPECT_LE(p.file.size(), kMaxPathBytes);
        }
    }
}

// A budget too small for the module: the reading stops, says so, and
// keeps what it read.
TEST(ModuleSymbols, ReadingEndsWhenItsBudgetIsSpent) {
    const std::string bytes = ReadAll(Fixture(64, "dwarf4"));
    const ModuleSymbols symbols(bytes, 2000);
    EXPECT_TRUE(symbols.Cut());
    EXPECT_FALSE(ModuleSymbols(bytes).Cut());
}

// The marks of a plugin's lines: every line of the author's source with
// code has one, and the lines of the marks found reached are reached; the missed
// ones come in stretches named by their function.
TEST(LineCoverage, TheMarksReachedGiveTheLinesReachedAndTheStretchesMissed) {
    for (int bits : {32, 64}) {
        const std::string bytes = ReadAll(Fixture(bits, "dwarf5"));
        const ModuleSymbols symbols(bytes);
        const CoverageMap map(bytes, L"lines.dll");
        ASSERT_FALSE(map.Rvas().empty()) << bits;
        EXPECT_FALSE(map.Functions());
        EXPECT_TRUE(std::is_sorted(map.Rvas().begin(), map.Rvas().end()));
        // Reached: every mark in TsRun and in HandleTag.
        std::vector<std::uint8_t> reached(map.Rvas().size(), 0);
        std::set<std::uint32_t> runLines;
        for (std::size_t i = 0; i < reached.size(); ++i) {
            const SourcePlace p = symbols.At(map.Rvas()[i]);
            if (p.function != "TsRun" && p.function != "HandleTag") continue;
            reached[i] = 1;
            runLines.insert(p.line);
        }
        const LineCoverage c = map.Of(reached.data(), reached.size());
        // The author's file alone: not the C runtime's, nor the headers of
        // other folders.
        ASSERT_EQ(c.files.size(), 1u) << bits;
        const auto source = c.files.begin();
        ASSERT_EQ(source->file.substr(source->file.size() - 15), L"/lines_plugin.c");
        EXPECT_EQ(std::set<std::uint32_t>(source->reached.begin(), source->reached.end()),
                  runLines);
        EXPECT_TRUE(std::count(source->reached.begin(), source->reached.end(), MarkedLine("run")));
        EXPECT_TRUE(std::count(source->missed.begin(), source->missed.end(), MarkedLine("hang")));
        EXPECT_EQ(c.linesReached, runLines.size());
        std::size_t total = 0;
        for (const FileCoverage& f : c.files) total += f.reached.size() + f.missed.size();
        EXPECT_EQ(c.linesTotal, total);
        // WaitForever is one stretch, from its opening line to its last.
        const auto wait =
            std::find_if(c.stretches.begin(), c.stretches.end(),
                         [](const MissedStretch& s) { return s.function == L"WaitForever"; });
        ASSERT_NE(wait, c.stretches.end()) << bits;
        EXPECT_LT(wait->from, MarkedLine("hang"));
        EXPECT_EQ(wait->to, MarkedLine("hang"));  // the loop never ends: no line after it
        // A flag missing counts as not reached.
        EXPECT_EQ(map.Of(reached.data(), 0).linesReached, 0u);
    }
}

// An export that is a jump (an incremental linker's thunk) has its code
// where the jump goes; any other begins where it is, and nothing is read
// beyond the section's bytes.
TEST(PeLayout, CodeStartsWhereAnExportsJumpGoes) {
    const std::string code("\x90\xE9\x10\x00\x00\x00\xC3\xE9\xF0\xFF\xFF\xFF\xE9\x01", 14);
    PeLayout pe;
    pe.sections.push_back({".text", 0x1000, code, 0x2000, true});
    EXPECT_EQ(CodeStart(pe, 0x1001), 0x1001u + 5 + 0x10);
    EXPECT_EQ(CodeStart(pe, 0x1007), 0x1007u + 5 - 0x10);  // backwards
    EXPECT_EQ(CodeStart(pe, 0x1000), 0x1000u);             // no jump
    EXPECT_EQ(CodeStart(pe, 0x100C), 0x100Cu);             // a jump cut off by the section's end
    EXPECT_EQ(CodeStart(pe, 0x3000), 0x3000u);             // in no section
    pe.sections[0].code = false;
    EXPECT_EQ(CodeStart(pe, 0x1001), 0x1001u);  // data is no thunk
}

// Without lines, the functions count: each mark is the first byte of a
// function (where the debug information of the same build says one
// begins), the exports among them by name, and each function missed is
// named on its own.
TEST(LineCoverage, WithoutLinesTheFunctionsAreCountedFromTheirFirstByte) {
    for (int bits : {32, 64}) {
        const CoverageMap map(ReadAll(Fixture(bits, "stripped")), L"lines.dll");
        ASSERT_TRUE(map.Functions()) << bits;
        const std::string withLines = ReadAll(Fixture(bits, "dwarf5"));
        const ModuleSymbols symbols(withLines);
        std::set<std::string> named;
        for (std::uint32_t rva : map.Rvas()) {
            const SourcePlace p = symbols.At(rva);
            if (p.function.empty()) continue;
            EXPECT_EQ(p.offset, 0u) << bits << " " << p.function;
            named.insert(p.function);
        }
        for (const char* function : {"TsRun", "TsName", "HandleTag", "Rebuild"})
            EXPECT_TRUE(named.count(function)) << bits << " " << function;

        std::vector<std::uint8_t> reached(map.Rvas().size(), 0);
        for (std::size_t i = 0; i < reached.size(); ++i)
            reached[i] = symbols.At(map.Rvas()[i]).function == "TsRun";
        const LineCoverage c = map.Of(reached.data(), reached.size());
        EXPECT_TRUE(c.functions);
        ASSERT_EQ(c.files.size(), 1u);
        EXPECT_EQ(c.files[0].file, L"lines.dll");
        EXPECT_EQ(c.files[0].reachedNames, std::vector<std::wstring>{L"TsRun"});
        EXPECT_EQ(c.linesReached, 1u);
        EXPECT_EQ(c.linesTotal, map.Rvas().size());
        EXPECT_EQ(c.stretches.size(), c.linesTotal - 1);
        EXPECT_TRUE(std::any_of(c.stretches.begin(), c.stretches.end(),
                                [](const MissedStretch& s) { return s.function == L"TsName"; }));
        // Without an export there, a function is named by its address.
        const auto handleTag = std::find_if(
            c.stretches.begin(), c.stretches.end(),
            [&](const MissedStretch& s) { return symbols.At(s.from).function == "HandleTag"; });
        ASSERT_NE(handleTag, c.stretches.end()) << bits;
        wchar_t address[16];
        std::swprintf(address, 16, L"+0x%X", static_cast<unsigned>(handleTag->from));
        EXPECT_EQ(handleTag->function, address);
        EXPECT_EQ(c.files[0].missedNames.size(), c.files[0].missed.size());
    }
}

}  // namespace
}  // namespace dllscope
