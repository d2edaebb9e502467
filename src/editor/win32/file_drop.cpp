#include "editor/win32/file_drop.h"

#include <shellapi.h>

namespace dllscope {
namespace {

bool CarriesFiles(IDataObject* data) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data && data->QueryGetData(&format) == S_OK;
}

}  // namespace

void FileDropTarget::Install(HWND window, std::function<void(const std::wstring&)> dropped) {
    // OLE keeps the registered target in this window property.
    auto* inner = static_cast<IDropTarget*>(GetPropW(window, L"OleDropTargetInterface"));
    if (inner) {
        inner->AddRef();
        RevokeDragDrop(window);
    }
    auto* target = new FileDropTarget(inner, std::move(dropped));
    if (FAILED(RegisterDragDrop(window, target)) && inner) RegisterDragDrop(window, inner);
    target->Release();  // OLE holds it while it is registered
}

FileDropTarget::~FileDropTarget() {
    if (inner_) inner_->Release();
}

HRESULT FileDropTarget::QueryInterface(REFIID riid, void** object) {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG FileDropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG FileDropTarget::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT FileDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) {
    files_ = CarriesFiles(data);
    if (files_) {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    if (inner_) return inner_->DragEnter(data, keys, at, effect);
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT FileDropTarget::DragOver(DWORD keys, POINTL at, DWORD* effect) {
    if (files_) {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    if (inner_) return inner_->DragOver(keys, at, effect);
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT FileDropTarget::DragLeave() {
    const bool files = files_;
    files_ = false;
    return !files && inner_ ? inner_->DragLeave() : S_OK;
}

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) {
    if (!files_) {
        if (inner_) return inner_->Drop(data, keys, at, effect);
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    files_ = false;
    *effect = DROPEFFECT_NONE;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&format, &medium))) return S_OK;
    std::wstring file;
    if (const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        if (length > 0) {
            file.resize(length + 1);
            DragQueryFileW(drop, 0, file.data(), length + 1);
            file.resize(length);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    if (file.empty()) return S_OK;
    *effect = DROPEFFECT_COPY;
    dropped_(file);
    return S_OK;
}

}  // namespace dllscope
