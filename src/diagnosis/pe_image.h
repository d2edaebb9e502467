#pragma once
// What a library file says about itself, read from its bytes: the headers of
// a Windows executable (MZ, PE), its bitness, whether it is a library or a
// .NET assembly, the DLLs and functions it imports and the names it exports.
// Reads only inside the bytes it is given, whatever offsets and counts the
// file claims.
#include <cstdint>
#include <string>
#include <vector>

namespace dllscope {

struct PeImport {
    std::string library;                 // as the file names it
    std::vector<std::string> functions;  // by name; imports by ordinal are left out
};

struct PeImage {
    enum class Kind { Empty, NotAnExecutable, Executable };
    Kind kind = Kind::NotAnExecutable;
    int bits = 0;               // 32 or 64 (0: a machine of another kind)
    std::uint16_t machine = 0;  // IMAGE_FILE_MACHINE_...
    bool library = false;       // IMAGE_FILE_DLL
    bool dotNet = false;        // has a CLR header
    std::vector<PeImport> imports;
    std::vector<std::string> exports;
};

PeImage ReadPeImage(const std::string& bytes);

// Whether the image imports from `library` (a lower-case file name, such
// as "msvcrt.dll", the C runtime MinGW links); its names are compared
// without regard to case.
bool Imports(const PeImage& image, const std::string& library);

}  // namespace dllscope
