#pragma once
// Why a library file cannot be loaded, said exactly and in German, from the
// file itself and from the files the loader would look for: an empty file,
// no Windows executable, a program, the other bitness, a .NET assembly, a
// missing dependency (with the chain that leads to it), a function that a
// dependency lacks, an entry point that failed. The reference bridge and
// the console checker share it.
#include <string>
#include <vector>

namespace dllscope {

// How the diagnosis reads files: the Windows shell gives the real ones, the
// tests crafted ones.
class LibraryFiles {
  public:
    virtual ~LibraryFiles() = default;
    // The file's bytes; false when there is no such file or it cannot be read.
    virtual bool Read(const std::wstring& path, std::string& bytes) = 0;
};

struct LoadFailure {
    unsigned long error = 0;  // the system's error code of the failed load
    std::wstring systemText;  // the system's words for it, without inserts
    int ownBits = 32;         // the bitness of the process that tried
    // Where the loader looks after the library's own folder: the three
    // system folders (system32, system, the Windows folder), then PATH's.
    std::vector<std::wstring> searchFolders;
};

std::wstring DiagnoseLibrary(const std::wstring& path, const LoadFailure& failure,
                             LibraryFiles& files);

// For a library that did load but is no plugin (an export is missing): what
// it is when it is a program or a .NET assembly, or a function that one of
// its dependencies lacks (Wine loads such a library all the same and fails
// only when the function is called). Empty when nothing of that is wrong.
// Of `context` only the bitness and the search folders count.
// `missingExport`, when given, is the export the caller looked for in vain:
// a decorated form of it (TsRun@4, _TsRun@4, a C++ name) is named with the
// fix.
std::wstring DiagnoseLoadedLibrary(const std::wstring& path, const LoadFailure& context,
                                   LibraryFiles& files, const std::string& missingExport = "");

}  // namespace dllscope
