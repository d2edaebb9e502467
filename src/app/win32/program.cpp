#include "app/win32/program.h"

#include "main_window/win32/demo_library_folder.h"

namespace dllscope {

Program::Program(App& app, ForeignCallGuard& guard)
    : guard_(guard),
      bridge_(bindings_),
      resultViewer_(app, resultFileName_),
      demoExports_(bindings_, kDemoLibraryFolder),
      form1_(app,
             {libraries_, bridge_, resultViewer_, resultFileName_, demoExports_, automation_}) {}

Program::~Program() {
    guard_.SetObserver(nullptr);
    if (recovery_) recovery_->RemoveAtNormalEnd();
}

void Program::Create() {
    if (recovery_) return;
    form1_.Create();
    recovery_ = std::make_unique<TextRecovery>(form1_.Editor());
    guard_.SetObserver(this);
}

void Program::Open(int showCommand) {
    Create();
    form1_.Show(showCommand);
    recovery_->OfferLeftOverText(form1_.Handle());
}

void Program::BeforeForeignCall(const ForeignCall&) { recovery_->SaveIfChanged(); }

std::wstring Program::SavedTextNote() { return recovery_->SavedTextNote(); }

}  // namespace dllscope
