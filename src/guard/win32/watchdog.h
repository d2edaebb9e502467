#pragma once
// The watchdog of the foreign calls: the call under way on the main thread,
// the observer, and a thread of its own that asks, for a call that does not
// return, whether to end Dllscope. One lock guards all of its state.
#include <windows.h>

#include "guard/foreign_call.h"
#include "guard/win32/call_observer.h"

namespace dllscope {

class Watchdog {
  public:
    Watchdog();   // starts the thread
    ~Watchdog();  // stops it
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    struct Watched {
        bool active = false;
        ForeignCall call;
        ULONGLONG since = 0;
        DWORD thread = 0;  // that makes the call
    };

    void SetObserver(ForeignCallObserver* observer);
    ForeignCallObserver* Observer();

    // The call `call` begins; returns the one it interrupts (a nested call).
    Watched Begin(const ForeignCall& call);
    // The call ends; the interrupted one goes on being watched.
    void End(Watched& previous);

  private:
    static DWORD WINAPI Run(void* self);
    void Watch();
    void AskWhetherToEnd(const Watched& seen, unsigned long generation, const HangPlace& place);

    CRITICAL_SECTION lock_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    ForeignCallObserver* observer_ = nullptr;
    Watched watched_;
    unsigned long generation_ = 0;
};

}  // namespace dllscope
