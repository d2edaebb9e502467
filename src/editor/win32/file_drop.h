#pragma once
// A file dropped on a pane replaces its text, as Ctrl+O does. The pane's
// component takes dragged text itself: this drop target stands in front of
// its own, takes what carries files and hands everything else on.
#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>

namespace dllscope {

class FileDropTarget final : public IDropTarget {
  public:
    // Puts itself in front of the drop target registered for `window`;
    // `dropped` gets the first file of a drop.
    static void Install(HWND window, std::function<void(const std::wstring&)> dropped);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at,
                                        DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at,
                                   DWORD* effect) override;

  private:
    FileDropTarget(IDropTarget* inner, std::function<void(const std::wstring&)> dropped)
        : inner_(inner), dropped_(std::move(dropped)) {}
    ~FileDropTarget();

    LONG references_ = 1;
    IDropTarget* inner_;  // the component's own, or null
    std::function<void(const std::wstring&)> dropped_;
    bool files_ = false;  // the drag under way carries files
};

}  // namespace dllscope
