#include "app/win32/program.h"

#include "common/paths.h"
#include "common/win32/files.h"
#include "common/win32/local_time.h"
#include "common/win32/message_box.h"
#include "guard/win32/fault_words.h"
#include "main_window/win32/demo_library_folder.h"

namespace dllscope {
namespace {

std::wstring HostProgram() { return InFolder(ProgramFolder(), kHostProgramName); }

}  // namespace

bool WindowHostWaiting::EndHungCall(const ForeignCall& call, unsigned long long milliseconds,
                                    HangSampling& hang) {
    const std::wstring text =
        Named(call) + L" antwortet nicht: Der Aufruf von " + call.call + L" läuft seit " +
        std::to_wstring(milliseconds / 1000) + L" Sekunden in seinem eigenen Prozess" +
        HangPlaceWords(hang.Place()) + L"." + HangLinesHint(hang.Place()) +
        L"\n\nDen Prozess des Plugins beenden? \u201EJa\u201C "
        L"beendet ihn, Dllscope arbeitet mit dem Text des Editors weiter; \u201ENein\u201C "
        L"wartet weiter.";
    return MessageBoxW(owner_, text.c_str(), kAppTitle,
                       MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND) == IDYES;
}

Program::Program(App& app, ForeignCallGuard& guard, bool isolated)
    : app_(app),
      guard_(guard),
      bridge_(bindings_),
      route_(libraries_, bridge_, HostProgram(), owner_),
      loggingLibraries_(route_, callLog_, *this),
      loggingBridge_(route_, callLog_, *this),
      resultViewer_(app, resultFileName_),
      demoExports_(bindings_, kDemoLibraryFolder),
      form1_(app, {loggingLibraries_, loggingBridge_, resultViewer_, resultFileName_, demoExports_,
                   automation_}) {
    route_.SetIsolated(isolated);
}

Program::~Program() {
    examineWindow_.reset();  // an examination under way stops first
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
    form1_.AddSystemMenuItem(
        L"Änderungen des letzten Laufs…", [this] { ShowChanges(); }, 'D');
    form1_.AddSystemMenuItem(
        L"Aufrufprotokoll…", [this] { ShowCallLog(); }, 'L');
    form1_.AddSystemMenuItem(
        L"Plugin untersuchen…", [this] { Examine(); }, 'U');
    callLog_.SetListener([this] {
        if (CallLogWindow* open = CallLogOpen()) open->Follow();
    });
    // "PluginRun" keeps the pane's text before and after, when it changed it.
    runCapture_ = std::make_unique<RunCapture>(form1_.Editor(), L"Command10_Click",
                                               [this] { return form1_.SelectedFileName(); });
    form1_.AddCommandListener(*this);
    form1_.AddCommandListener(*runCapture_);
    recovery_ = std::make_unique<TextRecovery>(form1_.Editor());
    guard_.SetObserver(this);
    // A call in the plugin's own process saves the text as one in this process does.
    route_.OnHostCall([this](const ForeignCall& call) { BeforeForeignCall(call); });
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

// The bridge restored the stack after an export that broke the calling
// convention; the author hears of it once the command has ended.
void Program::CommandEnded(const std::wstring&) {
    command_.clear();
    std::wstring text;
    for (const std::wstring& warning : route_.TakeStackWarnings())
        if (!warning.empty()) text += warning + L".\n";
    if (text.empty()) return;  // no words, no box
    text +=
        L"\nDllscope hat den Stapel nach dem Aufruf wiederhergestellt; im 32-Bit-Tagsmith "
        L"bringt jeder Aufruf ihn durcheinander.";
    ShowMessageBox(form1_.Handle(), text, MB_ICONWARNING);
}

std::wstring Program::SavedTextNote() { return recovery_->SavedTextNote(); }

std::wstring Program::Now() { return LocalTimeOfDay(true); }

double Program::Milliseconds() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring Program::Command() { return command_; }

unsigned long Program::Process() { return route_.Isolated() ? route_.HostProcessId() : 0; }

CallLogWindow* Program::CallLogOpen() const {
    return callLogWindow_ && callLogWindow_->Handle() ? callLogWindow_.get() : nullptr;
}

ChangesWindow* Program::ChangesOpen() const {
    return changesWindow_ && changesWindow_->Handle() ? changesWindow_.get() : nullptr;
}

void Program::ShowCallLog() {
    if (CallLogWindow* open = CallLogOpen()) {
        SetForegroundWindow(open->Handle());
        return;
    }
    callLogWindow_ = std::make_unique<CallLogWindow>(app_, callLog_);
    callLogWindow_->Create();
}

void Program::ShowChanges() {
    const ChangingRun* run = runCapture_ ? runCapture_->LastRun() : nullptr;
    if (!run) {
        ShowMessageBox(
            form1_.Handle(),
            L"Noch kein Lauf von \u201EPluginRun\u201C hat den Text des Editors geändert.",
            MB_ICONINFORMATION);
        return;
    }
    if (!ChangesOpen()) changesWindow_ = std::make_unique<ChangesWindow>(app_);
    changesWindow_->Show(*run);
}

void Program::Examine() {
    const std::wstring plugin = form1_.SelectedFileName();
    if (plugin.empty()) {
        ShowMessageBox(form1_.Handle(), L"Keine DLL ausgewählt!", MB_ICONEXCLAMATION);
        return;
    }
    if (!examineWindow_) {
        examineWindow_ = std::make_unique<ExamineWindow>(
            app_, ExamineSetup{InFolder(ProgramFolder(), kBridgeFileName), HostProgram()},
            [this](const std::wstring& page) { form1_.Editor().ReplaceAll(page); });
    }
    examineWindow_->Show(form1_.Handle(), InFolder(ProgramFolder(), plugin));
}

}  // namespace dllscope
