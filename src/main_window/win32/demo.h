#pragma once
// The demo exports and the automation classes of the demo panel, on Win32.
#include <windows.h>
#include <oleauto.h>

#include "plugin/win32/bindings.h"
#include "main_window/demo_commands.h"

namespace dllscope {

class Win32DemoExports : public DemoExports {
  public:
    Win32DemoExports(Bindings& bindings, std::wstring libraryFolder)
        : bindings_(bindings), folder_(std::move(libraryFolder)) {}
    std::wstring plugrun(const std::wstring& text) override;
    std::int32_t pbpluginElement(const std::wstring& index) override;

  private:
    Bindings& bindings_;
    std::wstring folder_;
};

// The element of an automation value at `index`, as a 32-bit integer: an
// object is asked for its default member with the index, an array takes it
// as a number. Throws RuntimeError when the value has no such element.
std::int32_t VariantElement(const VARIANT& value, const std::wstring& index);

class Win32Automation : public AutomationObjects {
  public:
    std::wstring DemoClassFirstMethod(const std::wstring& text) override;
    void CreateAndReleaseEditorObject() override;
};

// The demo automation class and its interface.
extern const CLSID kDemoClassId;
extern const IID kDemoInterfaceId;

}  // namespace dllscope
