// Reading library files and saying why one cannot be loaded: crafted images,
// whole and broken, and the sentences they lead to.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diagnosis/library_diagnosis.h"
#include "diagnosis/pe_image.h"

namespace dllscope {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Import {
    std::string library;
    std::vector<std::string> functions;
};

struct ImageLayout {
    int bits = 32;
    bool dll = true;
    bool dotNet = false;
    std::vector<Import> imports;
    std::vector<std::string> exports;
};

void Put(std::string& b, std::size_t at, std::uint64_t value, int bytes) {
    if (b.size() < at + bytes) b.resize(at + bytes, '\0');
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A minimal PE image: the headers and one section at RVA 0x1000 (file offset
// 0x200) holding the import and export tables and their names.
std::string BuildImage(const ImageLayout& layout) {
    const bool pe64 = layout.bits == 64;
    constexpr std::uint32_t kBase = 0x1000, kRaw = 0x200;
    std::string data;  // the section
    const auto rva = [&] { return kBase + static_cast<std::uint32_t>(data.size()); };
    const auto name = [&](const std::string& s) {
        const std::uint32_t at = rva();
        data += s;
        data += '\0';
        return at;
    };
    // Import descriptors first, filled in below.
    const std::uint32_t imports = rva();
    data.resize((layout.imports.size() + 1) * 20, '\0');
    const std::size_t width = pe64 ? 8 : 4;
    for (std::size_t i = 0; i < layout.imports.size(); ++i) {
        std::vector<std::uint32_t> hints;
        for (const std::string& f : layout.imports[i].functions) {
            hints.push_back(rva());
            data += std::string(2, '\0') + f + '\0';
        }
        const std::uint32_t lookup = rva();
        for (const std::uint32_t h : hints) Put(data, data.size(), h, static_cast<int>(width));
        Put(data, data.size(), 0, static_cast<int>(width));
        const std::uint32_t library = name(layout.imports[i].library);
        Put(data, i * 20, lookup, 4);
        Put(data, i * 20 + 12, library, 4);
        Put(data, i * 20 + 16, lookup, 4);
    }
    std::uint32_t exports = 0;
    if (!layout.exports.empty()) {
        std::vector<std::uint32_t> names;
        for (const std::string& e : layout.exports) names.push_back(name(e));
        const std::uint32_t table = rva();
        for (const std::uint32_t n : names) Put(data, data.size(), n, 4);
        exports = rva();
        data.resize(data.size() + 40, '\0');
        Put(data, exports - kBase + 24, names.size(), 4);
        Put(data, exports - kBase + 32, table, 4);
    }

    std::string b(kRaw, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put(b, 0x3C, 0x40, 4);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    const std::size_t file = 0x44, optional = file + 20, optionalSize = pe64 ? 240 : 224;
    Put(b, file, pe64 ? 0x8664 : 0x014C, 2);
    Put(b, file + 2, 1, 2);  // one section
    Put(b, file + 16, optionalSize, 2);
    Put(b, file + 18, layout.dll ? 0x2002 : 0x0002, 2);
    Put(b, optional, pe64 ? 0x20B : 0x10B, 2);
    Put(b, optional + (pe64 ? 108 : 92), 16, 4);
    const std::size_t directories = optional + (pe64 ? 112 : 96);
    Put(b, directories + 0 * 8, exports, 4);
    Put(b, directories + 1 * 8, layout.imports.empty() ? 0 : imports, 4);
    Put(b, directories + 14 * 8, layout.dotNet ? kBase : 0, 4);
    const std::size_t section = optional + optionalSize;
    b.replace(section, 5, ".data");
    Put(b, section + 8, data.size(), 4);
    Put(b, section + 12, kBase, 4);
    Put(b, section + 16, data.size(), 4);
    Put(b, section + 20, kRaw, 4);
    return b + data;
}

TEST(PeImage, ReadsBitnessKindImportsAndExports) {
    const PeImage image = ReadPeImage(
        BuildImage({64,
                    true,
                    false,
                    {{"KERNEL32.dll", {"LoadLibraryA", "FreeLibrary"}}, {"foo.dll", {"Bar"}}},
                    {"TsRun", "TsName"}}));
    EXPECT_EQ(image.kind, PeImage::Kind::Executable);
    EXPECT_EQ(image.bits, 64);
    EXPECT_TRUE(image.library);
    EXPECT_FALSE(image.dotNet);
    ASSERT_EQ(image.imports.size(), 2u);
    EXPECT_EQ(image.imports[0].library, "KERNEL32.dll");
    EXPECT_THAT(image.imports[0].functions, ElementsAre("LoadLibraryA", "FreeLibrary"));
    EXPECT_THAT(image.exports, ElementsAre("TsRun", "TsName"));

    const PeImage program = ReadPeImage(BuildImage({32, false, true, {}, {}}));
    EXPECT_EQ(program.bits, 32);
    EXPECT_FALSE(program.library);
    EXPECT_TRUE(program.dotNet);
    EXPECT_EQ(ReadPeImage("").kind, PeImage::Kind::Empty);
    EXPECT_EQ(ReadPeImage("<html>kein Programm</html>").kind, PeImage::Kind::NotAnExecutable);
}

// Every cut and every byte set to 0xFF: whatever the headers claim, the
// reader stays inside the bytes (the sanitizers watch it) and ends.
TEST(PeImage, TruncatedAndCorruptImagesAreReadSafely) {
    const std::string whole =
        BuildImage({32, true, false, {{"a.dll", {"F", "G"}}, {"b.dll", {"H"}}}, {"X", "Y"}});
    for (std::size_t n = 0; n < whole.size(); ++n) (void)ReadPeImage(whole.substr(0, n));
    for (std::size_t i = 0; i < whole.size(); ++i) {
        std::string broken = whole;
        broken[i] = '\xFF';
        (void)ReadPeImage(broken);
    }
    std::string absurd = whole;
    Put(absurd, 0x44 + 2, 0xFFFF, 2);  // 65535 sections
    Put(absurd, 0x3C, 0xFFFFFFF0, 4);  // the PE header far beyond the end
    EXPECT_EQ(ReadPeImage(absurd).kind, PeImage::Kind::NotAnExecutable);
    // A claimed count of 4 billion exports reads no more than the file holds.
    const std::string exportsOnly = BuildImage({32, true, false, {}, {"X"}});
    std::string many = exportsOnly;
    const std::size_t dir = many.size() - 40;
    Put(many, dir + 24, 0xFFFFFFFF, 4);
    EXPECT_LE(ReadPeImage(many).exports.size(), 65536u);
}

// A file cut inside a name or inside a 4-byte field: the bytes past the cut
// are not read (the string's own terminating NUL would pass for them).
TEST(PeImage, AFieldOrNameCutByTheEndOfTheFileIsRefused) {
    const std::string imported = BuildImage({32, true, false, {{"a.dll", {"F"}}}, {}});
    ASSERT_EQ(imported.substr(imported.size() - 6), std::string("a.dll\0", 6));
    EXPECT_EQ(ReadPeImage(imported.substr(0, imported.size() - 1)).imports.size(), 0u);
    EXPECT_EQ(ReadPeImage(imported.substr(0, imported.size() - 3)).imports.size(), 0u);
    EXPECT_EQ(ReadPeImage(imported).imports.size(), 1u);

    const std::string exported = BuildImage({32, true, false, {}, {"X"}});
    const std::size_t namesField = exported.size() - 40 + 32;  // AddressOfNames
    EXPECT_THAT(ReadPeImage(exported.substr(0, namesField + 4)).exports, ElementsAre("X"));
    EXPECT_TRUE(ReadPeImage(exported.substr(0, namesField + 3)).exports.empty());
}

class FakeFiles : public LibraryFiles {
  public:
    bool Read(const std::wstring& path, std::string& bytes) override {
        std::wstring key = path;
        std::transform(key.begin(), key.end(), key.begin(), ::towlower);
        const auto found = files.find(key);
        if (found == files.end()) return false;
        bytes = found->second;
        return true;
    }
    std::map<std::wstring, std::string> files;  // lower-case paths
};

class Diagnosis : public ::testing::Test {
  protected:
    std::wstring Why(const wchar_t* name, unsigned long error, int bits = 32) {
        LoadFailure failure{
            error,
            L"Systemtext",
            bits,
            {L"c:\\windows\\system32", L"c:\\windows\\system", L"c:\\windows", L"c:\\tools"}};
        return DiagnoseLibrary(std::wstring(L"C:\\Plugins\\") + name, failure, files);
    }
    FakeFiles files;
};

TEST_F(Diagnosis, SaysWhatTheFileIsWhenItIsNoLoadableDll) {
    files.files[L"c:\\plugins\\empty.dll"] = "";
    files.files[L"c:\\plugins\\text.dll"] = "Hallo";
    files.files[L"c:\\plugins\\program.dll"] = BuildImage({32, false, false, {}, {}});
    files.files[L"c:\\plugins\\wide.dll"] = BuildImage({64, true, false, {}, {"TsRun"}});
    files.files[L"c:\\plugins\\managed.dll"] = BuildImage({32, true, true, {}, {}});
    EXPECT_EQ(Why(L"empty.dll", 193),
              L"\u201Eempty.dll\u201C ist eine leere Datei (0 Bytes), keine DLL.");
    EXPECT_THAT(Why(L"text.dll", 193),
                HasSubstr(L"ist keine Windows-DLL: der Datei fehlt der Kopf"));
    EXPECT_EQ(Why(L"program.dll", 193),
              L"\u201Eprogram.dll\u201C ist ein Programm (EXE), keine DLL.");
    EXPECT_THAT(Why(L"wide.dll", 193),
                HasSubstr(L"ist eine 64-Bit-DLL; dieses Dllscope ist 32 Bit."));
    EXPECT_THAT(Why(L"managed.dll", 193), HasSubstr(L"ist eine .NET-Assembly ohne native Exporte"));
    EXPECT_THAT(Why(L"gone.dll", 126), HasSubstr(L"gibt es nicht"));
}

TEST_F(Diagnosis, NamesTheMissingDependencyWithItsChainAndAMissingFunction) {
    const std::string system = BuildImage({32, true, false, {}, {"LoadLibraryA"}});
    files.files[L"c:\\windows\\system32\\kernel32.dll"] = system;
    files.files[L"c:\\plugins\\chain.dll"] =
        BuildImage({32,
                    true,
                    false,
                    {{"KERNEL32.dll", {"LoadLibraryA"}},
                     {"api-ms-win-crt-runtime-l1-1-0.dll", {"x"}},
                     {"middle.dll", {"M"}}},
                    {}});
    files.files[L"c:\\tools\\middle.dll"] =
        BuildImage({32, true, false, {{"foo.dll", {"F"}}}, {"M"}});
    EXPECT_EQ(
        Why(L"chain.dll", 126),
        L"\u201Echain.dll\u201C braucht \u201Emiddle.dll\u201C, \u201Emiddle.dll\u201C braucht "
        L"\u201Efoo.dll\u201C, die nicht gefunden wird (gesucht im Ordner des Plugins, in den "
        L"Systemordnern und in den Ordnern von PATH).");

    // A plugin built against the compiler's runtime DLLs: all of them, and the fix.
    files.files[L"c:\\plugins\\shared.dll"] = BuildImage(
        {32, true, false, {{"libgcc_s_dw2-1.dll", {"G"}}, {"libstdc++-6.dll", {"S"}}}, {}});
    EXPECT_EQ(Why(L"shared.dll", 126),
              L"\u201Eshared.dll\u201C braucht \u201Elibgcc_s_dw2-1.dll\u201C und "
              L"\u201Elibstdc++-6.dll\u201C, die nicht gefunden werden (gesucht im Ordner des "
              L"Plugins, in den Systemordnern und in den Ordnern von PATH). Das sind DLLs der "
              L"Laufzeit von MinGW-g++: mit -static gelinkt (g++ -shared -static ...) braucht das "
              L"Plugin sie nicht.");

    files.files[L"c:\\plugins\\needy.dll"] =
        BuildImage({32, true, false, {{"middle.dll", {"M", "Neu"}}}, {}});
    files.files[L"c:\\plugins\\middle.dll"] = BuildImage({32, true, false, {}, {"M"}});
    EXPECT_EQ(Why(L"needy.dll", 127),
              L"\u201Eneedy.dll\u201C braucht die Funktion \u201ENeu\u201C aus "
              L"\u201Emiddle.dll\u201C, aber "
              L"\u201EC:\\Plugins\\middle.dll\u201C exportiert sie nicht (eine andere Fassung "
              L"dieser DLL?).");
}

TEST_F(Diagnosis, AFailedEntryPointAndOtherErrorsAreSaidWithoutRawInserts) {
    files.files[L"c:\\plugins\\init.dll"] = BuildImage({32, true, false, {}, {"TsRun"}});
    EXPECT_THAT(Why(L"init.dll", 1114),
                HasSubstr(L"Der Einsprungpunkt (DllMain) von \u201Einit.dll\u201C"));
    // Wine's loader answers a fault in DllMain with the fault's code.
    EXPECT_EQ(Why(L"init.dll", 998),
              L"Der Einsprungpunkt (DllMain) von \u201Einit.dll\u201C ist beim Laden "
              L"abgestürzt (Zugriffsverletzung, Fehler 998).");
    EXPECT_EQ(
        Why(L"init.dll", 5),
        L"Die Bibliothek \u201Einit.dll\u201C kann nicht geladen werden: Systemtext (Fehler 5).");
}

TEST_F(Diagnosis, DecoratedExportNamesAreNamedWithTheFix) {
    struct Case {
        const char* exported;
        const wchar_t* said;
    };
    for (const Case c : {Case{"TsBackvalue@0", L"ein verzierter __stdcall-Name"},
                         Case{"_TsBackvalue@0", L"ein verzierter __stdcall-Name"},
                         Case{"_Z11TsBackvaluev", L"ein C++-Name"},
                         Case{"?TsBackvalue@@YGFXZ", L"ein C++-Name"}}) {
        files.files[L"c:\\plugins\\d.dll"] =
            BuildImage({32, true, false, {}, {"TsRunner", c.exported}});
        const std::wstring why =
            DiagnoseLoadedLibrary(L"C:\\Plugins\\d.dll", {0, L"", 32, {}}, files, "TsBackvalue");
        EXPECT_THAT(why, HasSubstr(L"exportiert \u201E" +
                                   std::wstring(c.exported, c.exported + std::strlen(c.exported)) +
                                   L"\u201C statt \u201ETsBackvalue\u201C (" + c.said))
            << c.exported;
        EXPECT_THAT(why, HasSubstr(L"-Wl,--kill-at")) << c.exported;
    }
    // Names that merely contain it are no decorated form of it.
    files.files[L"c:\\plugins\\d.dll"] =
        BuildImage({32, true, false, {}, {"TsBackvalueEx", "MyTsBackvalue@0"}});
    EXPECT_EQ(DiagnoseLoadedLibrary(L"C:\\Plugins\\d.dll", {0, L"", 32, {}}, files, "TsBackvalue"),
              L"");
}

}  // namespace
}  // namespace dllscope
