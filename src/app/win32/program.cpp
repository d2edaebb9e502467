#include "app/win32/program.h"

#include "common/paths.h"
#include "common/win32/message_box.h"
#include "main_window/win32/demo_library_folder.h"

namespace dllscope {
namespace {

std::wstring HostProgram() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return InFolder(FolderOf(std::wstring(path, n < MAX_PATH ? n : 0)), L"dllscope-host.exe");
}

}  // namespace

bool WindowHostWaiting::EndHungCall(const ForeignCall& call, unsigned long long milliseconds) {
    const std::wstring text =
        Named(call) + L" antwortet nicht: Der Aufruf von " + call.call + L" läuft seit " +
        std::to_wstring(milliseconds / 1000) +
        L" Sekunden in seinem eigenen Prozess.\n\nDen Prozess des Plugins beenden? \u201EJa\u201C "
        L"beendet ihn, Dllscope arbeitet mit dem Text des Editors weiter; \u201ENein\u201C "
        L"wartet weiter.";
    return MessageBoxW(owner_, text.c_str(), kAppTitle,
                       MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND) == IDYES;
}

Program::Program(App& app, ForeignCallGuard& guard, bool isolated)
    : guard_(guard),
      bridge_(bindings_),
      route_(libraries_, bridge_, HostProgram(), owner_),
      resultViewer_(app, resultFileName_),
      demoExports_(bindings_, kDemoLibraryFolder),
      form1_(app, {route_, route_, resultViewer_, resultFileName_, demoExports_, automation_}) {
    route_.SetIsolated(isolated);
}

Program::~Program() {
    guard_.SetObserver(nullptr);
    if (recovery_) recovery_->RemoveAtNormalEnd();
}

void Program::Create() {
    if (recovery_) return;
    form1_.Create();
    owner_ = form1_.Handle();
    isolationItem_ = form1_.AddSystemMenuItem(L"Plugins in eigenem Prozess ausführen", [this] {
        route_.SetIsolated(!route_.Isolated());
        form1_.CheckSystemMenuItem(isolationItem_, route_.Isolated());
    });
    form1_.CheckSystemMenuItem(isolationItem_, route_.Isolated());
    recovery_ = std::make_unique<TextRecovery>(form1_.Editor());
    guard_.SetObserver(this);
}

void Program::Open(int showCommand) {
    Create();
    form1_.Show(showCommand);
    recovery_->OfferLeftOverText(form1_.Handle());
}

void Program::BeforeForeignCall(const ForeignCall& call) {
    recovery_->SaveIfChanged();
    recovery_->NoteCall(Named(call) + L", " + call.call);
}

std::wstring Program::SavedTextNote() { return recovery_->SavedTextNote(); }

}  // namespace dllscope
