#include "diagnosis/library_diagnosis.h"

#include <algorithm>
#include <set>

#include "common/paths.h"
#include "diagnosis/pe_image.h"

namespace dllscope {
namespace {

constexpr unsigned long kFileNotFound = 2, kPathNotFound = 3, kModuleNotFound = 126,
                        kProcNotFound = 127, kInitFailed = 1114;
// What Wine's loader answers when the entry point faults: the fault's code
// as a system error, said here in the words of the guard's reports.
struct EntryPointFault {
    unsigned long error;
    const wchar_t* kind;
};
constexpr EntryPointFault kFaultsOfAnEntryPoint[] = {{998, L"Zugriffsverletzung"},
                                                     {1001, L"Stapelüberlauf"}};
constexpr int kMaxDepth = 8;

std::wstring Quoted(const std::wstring& name) { return L"\u201E" + name + L"\u201C"; }

std::wstring Wide(const std::string& ascii) {
    std::wstring w;
    for (const char c : ascii) w += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return w;
}

// API sets (api-ms-win-..., ext-ms-...) are no files: the system resolves them.
bool IsApiSet(const std::wstring& name) {
    const std::wstring n = LowerName(name);
    return n.rfind(L"api-ms-", 0) == 0 || n.rfind(L"ext-ms-", 0) == 0;
}

class Walk {
  public:
    Walk(const std::wstring& pluginFolder, const LoadFailure& failure, LibraryFiles& files)
        : pluginFolder_(pluginFolder), failure_(failure), files_(files) {}

    // The first missing dependencies or function below `image`, as a
    // sentence, or the empty string. Every dependency missing at that level
    // is named.
    std::wstring Find(const std::wstring& name, const PeImage& image,
                      std::vector<std::wstring>& chain, int depth) {
        if (depth > kMaxDepth || !visited_.insert(LowerName(name)).second) return std::wstring();
        std::vector<std::wstring> missing;
        for (const PeImport& import : image.imports) {
            const std::wstring dependency = Wide(import.library);
            std::string bytes;
            bool system = false;
            if (!IsApiSet(dependency) && Locate(dependency, bytes, system).empty() &&
                std::find(missing.begin(), missing.end(), dependency) == missing.end())
                missing.push_back(dependency);
        }
        if (!missing.empty()) return MissingSentence(chain, missing);
        for (const PeImport& import : image.imports) {
            const std::wstring dependency = Wide(import.library);
            if (IsApiSet(dependency)) continue;
            std::string bytes;
            bool system = false;
            const std::wstring found = Locate(dependency, bytes, system);
            const PeImage foundImage = ReadPeImage(bytes);
            if (!foundImage.exports.empty()) {
                for (const std::string& function : import.functions) {
                    if (std::find(foundImage.exports.begin(), foundImage.exports.end(), function) ==
                        foundImage.exports.end()) {
                        return Quoted(chain.back()) + L" braucht die Funktion " +
                               Quoted(Wide(function)) + L" aus " + Quoted(dependency) + L", aber " +
                               Quoted(found) +
                               L" exportiert sie nicht (eine andere Fassung dieser DLL?).";
                    }
                }
            }
            if (system) continue;  // what the system brings is complete
            chain.push_back(dependency);
            const std::wstring deeper = Find(dependency, foundImage, chain, depth + 1);
            chain.pop_back();
            if (!deeper.empty()) return deeper;
        }
        return std::wstring();
    }

  private:
    static std::wstring MissingSentence(const std::vector<std::wstring>& chain,
                                        const std::vector<std::wstring>& missing) {
        std::wstring text;
        for (std::size_t i = 0; i + 1 < chain.size(); ++i)
            text += Quoted(chain[i]) + L" braucht " + Quoted(chain[i + 1]) + L", ";
        text += Quoted(chain.back()) + L" braucht ";
        bool runtime = false;
        for (std::size_t i = 0; i < missing.size(); ++i) {
            text += (i == 0                    ? L""
                     : i + 1 == missing.size() ? L" und "
                                               : L", ") +
                    Quoted(missing[i]);
            const std::wstring n = LowerName(missing[i]);
            runtime = runtime || n.rfind(L"libgcc_s_", 0) == 0 || n == L"libstdc++-6.dll" ||
                      n == L"libwinpthread-1.dll";
        }
        text += missing.size() == 1 ? L", die nicht gefunden wird" : L", die nicht gefunden werden";
        text +=
            L" (gesucht im Ordner des Plugins, in den Systemordnern und in den Ordnern von PATH).";
        if (runtime) {
            text +=
                L" Das sind DLLs der Laufzeit von MinGW-g++: mit -static gelinkt (g++ -shared "
                L"-static ...) braucht das Plugin sie nicht.";
        }
        return text;
    }

    // Where the loader finds a dependency: the plugin's folder, then the
    // search folders. Empty when it is nowhere.
    std::wstring Locate(const std::wstring& name, std::string& bytes, bool& system) {
        std::vector<std::wstring> folders{pluginFolder_};
        folders.insert(folders.end(), failure_.searchFolders.begin(), failure_.searchFolders.end());
        for (std::size_t i = 0; i < folders.size(); ++i) {
            if (folders[i].empty()) continue;
            const std::wstring path = InFolder(folders[i], name);
            if (files_.Read(path, bytes)) {
                system = i > 0 && i <= kSystemFolders;
                return path;
            }
        }
        return std::wstring();
    }

    static constexpr std::size_t kSystemFolders = 3;  // system32, system, the Windows folder
    std::wstring pluginFolder_;
    const LoadFailure& failure_;
    LibraryFiles& files_;
    std::set<std::wstring> visited_;
};

// What the file is when it is no loadable DLL of this bitness; empty when it is one.
std::wstring WhatItIs(const std::wstring& name, const PeImage& image, int ownBits) {
    switch (image.kind) {
        case PeImage::Kind::Empty:
            return Quoted(name) + L" ist eine leere Datei (0 Bytes), keine DLL.";
        case PeImage::Kind::NotAnExecutable:
            return Quoted(name) +
                   L" ist keine Windows-DLL: der Datei fehlt der Kopf eines Windows-Programms "
                   L"(MZ/PE). Sie endet nur auf .dll.";
        case PeImage::Kind::Executable:
            break;
    }
    const std::wstring own = std::to_wstring(ownBits) + L" Bit";
    if (image.bits == 0) {
        return Quoted(name) + L" ist für einen anderen Prozessor gebaut; dieses Dllscope ist " +
               own + L".";
    }
    if (!image.library) return Quoted(name) + L" ist ein Programm (EXE), keine DLL.";
    if (image.bits != ownBits) {
        return Quoted(name) + L" ist eine " + std::to_wstring(image.bits) +
               L"-Bit-DLL; dieses Dllscope ist " + own + L". Tagsmith lädt nur 32-Bit-Plugins.";
    }
    if (image.dotNet && image.exports.empty()) {
        return Quoted(name) +
               L" ist eine .NET-Assembly ohne native Exporte; ein Plugin braucht native "
               L"__stdcall-Exporte.";
    }
    return std::wstring();
}

// The first export that carries `wanted` decorated, as a sentence with the
// fix; empty when there is none.
std::wstring DecoratedForm(const std::wstring& library, const PeImage& image,
                           const std::string& wanted) {
    for (const std::string& e : image.exports) {
        const std::size_t at = e.find(wanted);
        if (e == wanted || at == std::string::npos) continue;
        const std::string before = e.substr(0, at), after = e.substr(at + wanted.size());
        const bool stdcall =
            (before.empty() || before == "_") &&
            (after.empty() ? !before.empty()
                           : after[0] == '@' && after.size() > 1 &&
                                 after.find_first_not_of("0123456789", 1) == std::string::npos);
        // GCC: _Z<length><name><parameters>; Visual C++: ?<name>@@<type>.
        const bool cpp =
            (before.rfind("_Z", 0) == 0 && before.back() >= '0' && before.back() <= '9') ||
            (before == "?" && after.rfind("@@", 0) == 0);
        if (!stdcall && !cpp) continue;
        const std::wstring found =
            Quoted(library) + L" exportiert " + Quoted(Wide(e)) + L" statt " + Quoted(Wide(wanted));
        const std::wstring bare =
            L"mit einer .def-Datei (include/tagsmith_plugin.def; Visual C++: /DEF:) oder mit "
            L"MinGW beim Linken mit -Wl,--kill-at.";
        if (stdcall) {
            return found + L" (ein verzierter __stdcall-Name). Exportiere die blanken Namen " +
                   bare;
        }
        return found +
               L" (ein C++-Name). Deklariere die Exporte als extern \"C\" (TS_EXPORT aus "
               L"tagsmith_plugin.h tut das) und exportiere die blanken Namen " +
               bare;
    }
    return std::wstring();
}

std::wstring MissingBelow(const std::wstring& path, const PeImage& image,
                          const LoadFailure& failure, LibraryFiles& files) {
    const auto slash = path.find_last_of(L"\\/");
    Walk walk(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash), failure, files);
    std::vector<std::wstring> chain{FileNameOf(path)};
    return walk.Find(chain.front(), image, chain, 0);
}

}  // namespace

std::wstring DiagnoseLibrary(const std::wstring& path, const LoadFailure& failure,
                             LibraryFiles& files) {
    const std::wstring name = FileNameOf(path);
    const std::wstring code = L" (Fehler " + std::to_wstring(failure.error) + L")";
    std::string bytes;
    if (!files.Read(path, bytes)) {
        if (failure.error == kFileNotFound || failure.error == kPathNotFound ||
            failure.error == kModuleNotFound) {
            return L"Die Datei " + Quoted(path) + L" gibt es nicht.";
        }
        return L"Die Datei " + Quoted(path) + L" kann nicht gelesen werden: " + failure.systemText +
               code + L".";
    }
    const PeImage image = ReadPeImage(bytes);
    if (const std::wstring what = WhatItIs(name, image, failure.ownBits); !what.empty())
        return what;
    if (failure.error == kModuleNotFound || failure.error == kProcNotFound) {
        if (const std::wstring missing = MissingBelow(path, image, failure, files);
            !missing.empty()) {
            return missing;
        }
    }
    if (failure.error == kInitFailed) {
        return L"Der Einsprungpunkt (DllMain) von " + Quoted(name) +
               L" ist beim Laden fehlgeschlagen: er hat FALSE zurückgegeben oder ist abgestürzt.";
    }
    for (const EntryPointFault& fault : kFaultsOfAnEntryPoint) {
        if (failure.error != fault.error) continue;
        return L"Der Einsprungpunkt (DllMain) von " + Quoted(name) +
               L" ist beim Laden abgestürzt (" + fault.kind + L", Fehler " +
               std::to_wstring(failure.error) + L").";
    }
    return L"Die Bibliothek " + Quoted(name) + L" kann nicht geladen werden: " +
           failure.systemText + code + L".";
}

std::wstring DiagnoseLoadedLibrary(const std::wstring& path, const LoadFailure& context,
                                   LibraryFiles& files, const std::string& missingExport) {
    std::string bytes;
    if (!files.Read(path, bytes)) return std::wstring();
    const PeImage image = ReadPeImage(bytes);
    if (const std::wstring what = WhatItIs(FileNameOf(path), image, context.ownBits); !what.empty())
        return what;
    if (!missingExport.empty()) {
        if (const std::wstring decorated = DecoratedForm(FileNameOf(path), image, missingExport);
            !decorated.empty()) {
            return decorated;
        }
    }
    return MissingBelow(path, image, context, files);
}

}  // namespace dllscope
