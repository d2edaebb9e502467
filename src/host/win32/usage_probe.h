#pragma once
// What this process holds, measured after each cycle: open
// handles (with their types), committed private memory and free TLS indexes.
#include <windows.h>

#include <string>
#include <vector>

#include "host/process_usage.h"

namespace dllscope {

// The process's open handles, by value, sorted, from the system's handle
// table (Wine answers GetProcessHandleCount with 0); empty when unreadable.
std::vector<ULONG_PTR> OwnHandles();
// Their number: the system's count where it gives one, else the table's.
long long OpenHandles(const std::vector<ULONG_PTR>& own);
// The system's name of a handle's type ("Event", "Thread", ...).
std::wstring HandleType(ULONG_PTR handle);
// Committed private memory, summed over the address space.
long long PrivateBytes();
// The bytes in use in all of the process's heaps and their number; -1 each
// where they cannot be walked.
struct HeapCount {
    long long bytes = -1, heaps = -1;
};
HeapCount HeapsInUse();
// How many TLS indexes the process can still have.
long long FreeTlsSlots();

// The usage after a cycle, and the handles that came since a remembered one.
class UsageProbe {
  public:
    // What the process holds now; `remember` keeps its handles for NewHandleTypes.
    ProcessUsage Usage(bool remember);
    // The type names of the handles opened since the remembered moment.
    std::vector<std::wstring> NewHandleTypes();

  private:
    std::vector<ULONG_PTR> remembered_;
};

}  // namespace dllscope
