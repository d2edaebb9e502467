#pragma once
// The symbols of the modules loaded in this process, each read once from
// its file (again when the file changed) and kept, and the frames of
// addresses in words. Read after a fault has landed or a sample was taken,
// never inside a fault handler: reading allocates.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "symbols/module_symbols.h"
#include "symbols/stack_frame.h"

namespace dllscope {

// The symbols of the module file at `path`; null where it cannot be read.
std::shared_ptr<const ModuleSymbols> SymbolsOfFile(const std::wstring& path);

// The frame of `address` in the module of file `path` loaded at `base`, in
// any process; an empty `path` for an address in no module.
StackFrame FrameInModule(const std::wstring& path, std::uintptr_t base, std::uintptr_t address,
                         bool caller);

// The frame of an address of this process: its module and offset, and the
// function and line where the module's file knows them. A return address
// (`caller`) is looked up one byte back.
StackFrame FrameOf(const void* address, bool caller);

// The frames of a stack: the first the place itself, the others return
// addresses.
std::vector<StackFrame> FramesOf(const void* const* addresses, std::size_t count);

}  // namespace dllscope
