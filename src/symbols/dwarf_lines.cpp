// The line programs of .debug_line: the table of which addresses were
// compiled from which file and line.
#include <algorithm>

#include "symbols/dwarf_forms.h"

namespace dllscope {
namespace {

constexpr std::size_t kMaxFilesOfUnit = 1u << 16;
constexpr unsigned kMaxFormats = 16;
constexpr std::uint32_t kNoFile = 0xFFFFFFFF;

struct LineHead {
    std::uint64_t end = 0, program = 0;
    std::uint16_t version = 0;
    unsigned addressSize = 4, offsetSize = 4;
    std::uint8_t minLength = 1, lineRange = 1, opcodeBase = 1;
    std::int8_t lineBase = 0;
    std::uint8_t opcodeLengths[256] = {};
    std::vector<std::string> dirs;
    std::vector<std::uint32_t> files;  // the unit's file numbers, as indices into DebugInfo::files
};

bool Absolute(std::string_view path) {
    return !path.empty() &&
           (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

std::string Join(std::string_view dir, std::string_view name) {
    std::string path;
    if (!Absolute(name) && !dir.empty()) {
        path = dir;
        const bool windows =
            dir.find('\\') != std::string_view::npos && dir.find('/') == std::string_view::npos;
        if (path.back() != '/' && path.back() != '\\') path += windows ? '\\' : '/';
    }
    path += name;
    if (path.size() > kMaxPathBytes) path.resize(kMaxPathBytes);
    return path;
}

std::uint32_t FileIndex(DebugInfo& info, std::string path) {
    // Units of one module share most of their headers' files: look back a little.
    const std::size_t n = info.files.size();
    for (std::size_t i = n; i > 0 && n - i < 64; --i)
        if (info.files[i - 1] == path) return static_cast<std::uint32_t>(i - 1);
    info.files.push_back(std::move(path));
    return static_cast<std::uint32_t>(n);
}

// A version 5 table of directories or files: its entries' formats, then the entries.
template <class Entry>
bool ReadEntries(ByteCursor& c, const DwarfSections& s, const LineHead& h, ReadBudget& budget,
                 Entry entry) {
    std::uint64_t formats[kMaxFormats][2];
    const unsigned count = c.U8();
    if (count > kMaxFormats) return false;
    for (unsigned i = 0; i < count; ++i) formats[i][0] = c.Uleb(), formats[i][1] = c.Uleb();
    UnitHead unit;
    unit.version = 5, unit.offsetSize = h.offsetSize, unit.addressSize = h.addressSize;
    const std::uint64_t entries = c.Uleb();
    for (std::uint64_t e = 0; e < entries && c.Ok() && e < kMaxFilesOfUnit; ++e) {
        std::string_view path;
        std::uint64_t dir = 0;
        for (unsigned i = 0; i < count && budget.Spend(); ++i) {
            FormValue v;
            if (!ReadForm(c, formats[i][1], 0, unit, v)) return false;
            if (formats[i][0] == 1) path = FormText(v, s, unit);  // DW_LNCT_path
            if (formats[i][0] == 2) dir = v.number;               // DW_LNCT_directory_index
        }
        entry(path, dir);
    }
    return c.Ok();
}

bool ReadTablesBefore5(ByteCursor& c, std::string_view compDir, LineHead& h, DebugInfo& info,
                       ReadBudget& budget) {
    h.dirs.emplace_back(compDir);
    while (c.Ok() && h.dirs.size() < kMaxFilesOfUnit && budget.Spend()) {
        const std::string_view dir = c.CString();
        if (dir.empty()) break;
        h.dirs.push_back(Join(compDir, dir));
    }
    h.files.push_back(kNoFile);  // the files' numbers start at 1
    while (c.Ok() && h.files.size() < kMaxFilesOfUnit && budget.Spend()) {
        const std::string_view name = c.CString();
        if (name.empty()) break;
        const std::uint64_t dir = c.Uleb();
        c.Uleb(), c.Uleb();
        h.files.push_back(FileIndex(info, Join(dir < h.dirs.size() ? h.dirs[dir] : "", name)));
    }
    return c.Ok();
}

bool ReadLineHead(ByteCursor& c, const DwarfSections& s, std::string_view compDir,
                  unsigned addressSize, LineHead& h, DebugInfo& info, ReadBudget& budget) {
    if (!ReadUnitLength(c, h.end, h.offsetSize)) return false;
    h.version = c.U16();
    if (h.version < 2 || h.version > 5) return false;
    h.addressSize = addressSize;
    if (h.version >= 5) h.addressSize = c.U8(), c.U8();
    const std::uint64_t headerLength = c.Unsigned(h.offsetSize);
    h.program = c.Offset() + headerLength;
    h.minLength = c.U8();
    if (h.version >= 4) c.U8();  // maximum operations per instruction
    c.U8();                      // default_is_stmt
    h.lineBase = c.S8();
    h.lineRange = c.U8();
    h.opcodeBase = c.U8();
    for (unsigned i = 1; i < h.opcodeBase; ++i) h.opcodeLengths[i] = c.U8();
    if (!c.Ok() || h.lineRange == 0 || h.opcodeBase == 0 || h.program > h.end ||
        (h.addressSize != 4 && h.addressSize != 8)) {
        return false;
    }
    if (h.version < 5) return ReadTablesBefore5(c, compDir, h, info, budget);
    const bool dirs = ReadEntries(c, s, h, budget, [&](std::string_view path, std::uint64_t) {
        h.dirs.push_back(Join(h.dirs.empty() ? compDir : std::string_view(h.dirs[0]), path));
    });
    return dirs && ReadEntries(c, s, h, budget, [&](std::string_view path, std::uint64_t dir) {
               h.files.push_back(
                   FileIndex(info, Join(dir < h.dirs.size() ? h.dirs[dir] : "", path)));
           });
}

struct LineState {
    std::uint64_t address = 0;
    std::uint64_t file = 1, line = 1;
    bool started = false;  // a row of this sequence was emitted
    std::uint64_t rowAddress = 0, rowFile = 0, rowLine = 0;
};

// A row of the table: the previous row's place holds up to this address.
void Emit(const LineHead& h, LineState& st, DebugInfo& info, bool endOfSequence) {
    if (st.started && st.address > st.rowAddress && st.rowFile < h.files.size() &&
        h.files[st.rowFile] != kNoFile && st.rowLine != 0 && info.rows.size() < kMaxRows) {
        info.rows.push_back(
            {st.rowAddress, st.address, h.files[st.rowFile],
             static_cast<std::uint32_t>(std::min<std::uint64_t>(st.rowLine, 0xFFFFFFFF))});
    }
    if (info.rows.size() >= kMaxRows) info.cut = true;
    st.started = !endOfSequence;
    st.rowAddress = st.address, st.rowFile = st.file, st.rowLine = st.line;
    if (endOfSequence) st = LineState{};
}

void Extended(ByteCursor& c, const LineHead& h, LineState& st, DebugInfo& info) {
    const std::uint64_t length = c.Uleb();
    const std::size_t next =
        c.Offset() + static_cast<std::size_t>(std::min<std::uint64_t>(length, c.Left()));
    const std::uint8_t op = length ? c.U8() : 0;
    if (op == 1) Emit(h, st, info, true);
    if (op == 2)
        st.address = c.Unsigned(static_cast<unsigned>(std::min<std::uint64_t>(length - 1, 8)));
    c.Seek(next);
}

void Standard(ByteCursor& c, std::uint8_t op, const LineHead& h, LineState& st, DebugInfo& info) {
    switch (op) {
        case 1:
            Emit(h, st, info, false);
            break;
        case 2:
            st.address += c.Uleb() * h.minLength;
            break;
        case 3:
            st.line += static_cast<std::uint64_t>(c.Sleb());
            break;
        case 4:
            st.file = c.Uleb();
            break;
        case 8:
            st.address += (255u - h.opcodeBase) / h.lineRange * h.minLength;
            break;
        case 9:
            st.address += c.U16();
            break;
        default:
            for (unsigned i = 0; i < h.opcodeLengths[op]; ++i) c.Uleb();
    }
}

}  // namespace

std::uint64_t ReadLineProgram(const DwarfSections& s, std::uint64_t offset, unsigned addressSize,
                              std::string_view compDir, ReadBudget& budget, DebugInfo& info) {
    ByteCursor c(s.line);
    c.Seek(offset);
    LineHead h;
    if (!ReadLineHead(c, s, compDir, addressSize, h, info, budget)) return 0;
    ByteCursor program(s.line.substr(0, h.end));
    program.Seek(h.program);
    LineState st;
    while (!program.AtEnd() && budget.Spend() && !info.cut) {
        const std::uint8_t op = program.U8();
        if (op >= h.opcodeBase) {
            const unsigned adjusted = op - h.opcodeBase;
            st.address += adjusted / h.lineRange * h.minLength;
            st.line +=
                static_cast<std::uint64_t>(h.lineBase + static_cast<int>(adjusted % h.lineRange));
            Emit(h, st, info, false);
        } else if (op == 0) {
            Extended(program, h, st, info);
        } else {
            Standard(program, op, h, st, info);
        }
    }
    return h.end;
}

}  // namespace dllscope
