#pragma once
// The disk as the library diagnosis sees it: whole files, and the folders
// where the loader looks for a library's dependencies.
#include <string>
#include <vector>

#include "common/win32/files.h"
#include "diagnosis/library_diagnosis.h"

namespace dllscope {

class DiskLibraryFiles : public LibraryFiles {
  public:
    bool Read(const std::wstring& path, std::string& bytes) override {
        return ReadWholeFile(path, bytes) == ERROR_SUCCESS;
    }
};

// After a library's own folder: system32, system, the Windows folder, then
// the folders of PATH.
std::vector<std::wstring> LoaderSearchFolders();

}  // namespace dllscope
