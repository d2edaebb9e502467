#include "editor/win32/text_recovery.h"

#include <algorithm>

#include "common/paths.h"
#include "common/win32/message_box.h"

namespace dllscope {
namespace {

constexpr wchar_t kPrefix[] = L"Dllscope-Text-";

void DeleteCopy(const std::wstring& copy) {
    DeleteFileW(copy.c_str());
    DeleteFileW(CallNoteOf(copy).c_str());
}

// The call noted beside a copy, or the empty string.
std::wstring ReadCallNote(const std::wstring& copy) {
    const HANDLE file =
        CreateFileW(CallNoteOf(copy).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    wchar_t note[512];
    DWORD read = 0;
    ReadFile(file, note, sizeof note, &read, nullptr);
    CloseHandle(file);
    return std::wstring(note, read / sizeof(wchar_t));
}

}  // namespace

std::wstring CallNoteOf(const std::wstring& copy) {
    const std::size_t dot = copy.rfind(L'.');
    return (dot == std::wstring::npos ? copy : copy.substr(0, dot)) + L".aufruf";
}

std::wstring RecoveryFolder() {
    std::wstring base(MAX_PATH, L'\0');
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) n = GetTempPathW(MAX_PATH, base.data());
    base.resize(n);
    const std::wstring folder = InFolder(base, L"Dllscope");
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::vector<std::wstring> LeftOverCopies(const std::wstring& folder) {
    std::vector<std::pair<ULONGLONG, std::wstring>> found;
    WIN32_FIND_DATAW data;
    const HANDLE find =
        FindFirstFileW(InFolder(folder, std::wstring(kPrefix) + L"*.txt").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    do {
        const std::wstring path = InFolder(folder, data.cFileName);
        // A running instance holds its copy open without sharing deletion.
        const HANDLE probe = CreateFileW(path.c_str(), DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) continue;
        CloseHandle(probe);
        const ULONGLONG written =
            (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime;
        found.emplace_back(written, path);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> paths;
    for (auto& f : found) paths.push_back(std::move(f.second));
    return paths;
}

RecoveryFile::RecoveryFile(const std::wstring& folder) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    // The process id and the start time: two instances never share a name.
    path_ =
        InFolder(folder, std::wstring(kPrefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) |
                                             now.dwLowDateTime) +
                             L".txt");
}

RecoveryFile::~RecoveryFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (call_ != INVALID_HANDLE_VALUE) CloseHandle(call_);
}

void RecoveryFile::NoteCall(const std::wstring& words) {
    if (call_ == INVALID_HANDLE_VALUE) {
        call_ = CreateFileW(CallNoteOf(path_).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (call_ == INVALID_HANDLE_VALUE) return;
    }
    // Not flushed: the system writes it out when a plugin ends the process.
    const std::wstring note = words.substr(0, 255);
    LARGE_INTEGER start{};
    DWORD written = 0;
    if (SetFilePointerEx(call_, start, nullptr, FILE_BEGIN))
        WriteFile(call_, note.data(), static_cast<DWORD>(note.size() * sizeof(wchar_t)), &written,
                  nullptr);
    SetEndOfFile(call_);
}

bool RecoveryFile::Write(const std::string& text) {
    if (file_ == INVALID_HANDLE_VALUE) {
        file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) return false;
    }
    const std::string bytes = "\xEF\xBB\xBF" + text;
    LARGE_INTEGER start{};
    DWORD written = 0;
    bool ok = SetFilePointerEx(file_, start, nullptr, FILE_BEGIN) &&
              WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && SetEndOfFile(file_);
    // On the disk, not only in the cache: the power may go too.
    ok = FlushFileBuffers(file_) && ok;
    return ok;
}

void RecoveryFile::RemoveAtNormalEnd() {
    for (HANDLE* h : {&file_, &call_}) {
        if (*h != INVALID_HANDLE_VALUE) CloseHandle(*h);
        *h = INVALID_HANDLE_VALUE;
    }
    DeleteCopy(path_);
    for (const std::wstring& leftOver : keptUntilEnd_) DeleteCopy(leftOver);
    keptUntilEnd_.clear();
}

TextRecovery::TextRecovery(CodePane& pane) : pane_(pane), file_(RecoveryFolder()) {}

void TextRecovery::SaveIfChanged() {
    if (!pane_.TakeChanged()) return;
    bool written = false;
    try {
        written = file_.Write(pane_.Utf8Text());
    } catch (const std::bad_alloc&) {
        // No memory for the copy: the call goes ahead, and the note says so.
    }
    copy_ = written ? Copy::Saved : Copy::Failed;
    if (!written) pane_.MarkChanged();  // try again next time
}

std::wstring TextRecovery::SavedTextNote() const {
    switch (copy_.load()) {
        case Copy::Saved:
            return L"Der Text des Editors ist gesichert in\n" + file_.Path() +
                   L"\nBeim nächsten Start bietet Dllscope ihn wieder an.";
        case Copy::Failed:
            return L"Achtung: Der Text des Editors konnte nicht gesichert werden (" + file_.Path() +
                   L").";
        case Copy::None:
            break;
    }
    return L"Der Text des Editors ist seit dem Start unverändert; es gibt nichts zu sichern.";
}

void TextRecovery::OfferLeftOverText(HWND owner) {
    const std::vector<std::wstring> copies = LeftOverCopies(RecoveryFolder());
    for (auto copy = copies.rbegin(); copy != copies.rend(); ++copy) {  // the newest first
        const std::wstring call = ReadCallNote(*copy);
        const std::wstring question =
            L"Dllscope wurde nicht normal beendet (ein Plugin hat das Programm beendet, es "
            L"wurde beendet, während ein Plugin nicht antwortete, oder der Rechner ging aus).\n\n" +
            (call.empty() ? std::wstring()
                          : L"Der letzte Aufruf: " + call +
                                L".\nEin Plugin, das Dllscope beendet oder nicht antwortet, "
                                L"läuft gefahrlos in einem eigenen Prozess: Systemmenü "
                                L"\u201EPlugins in eigenem Prozess ausführen\u201C oder "
                                L"Dllscope.exe --isolated.\n\n") +
            L"Der Text des Editors von damals ist gesichert:\n" + *copy +
            L"\n\nSoll er wieder in den Editor geladen werden?";
        if (MessageBoxW(owner, question.c_str(), kAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            std::wstring path = *copy;
            pane_.LoadFile(path);
            SaveIfChanged();  // this instance's copy holds it now
            if (copy_ == Copy::Saved) DeleteCopy(*copy);
            return;  // older copies are offered at the next start
        }
        ShowMessageBox(owner,
                       L"Die Sicherung bleibt bis zum nächsten normalen Ende von Dllscope "
                       L"erhalten:\n" +
                           *copy,
                       MB_ICONINFORMATION);
        file_.RemoveAtNormalEnd(*copy);
    }
}

}  // namespace dllscope
