#pragma once
// Who is told of every call into foreign code, and asked about a call that
// does not return.
#include <windows.h>

#include <string>

#include "guard/foreign_call.h"
#include "sampling/code_samples.h"

namespace dllscope {

// How long a call may run before the watchdog asks whether to end Dllscope.
inline constexpr DWORD kHangMilliseconds = 15000;

// Told before every call into foreign code, and asked what to say about the
// editor text when a call does not return.
class ForeignCallObserver {
  public:
    virtual ~ForeignCallObserver() = default;
    virtual void BeforeForeignCall(const ForeignCall& call) = 0;
    virtual std::wstring SavedTextNote() = 0;
    // How long a call may run before it counts as hung.
    virtual DWORD HangMilliseconds() { return kHangMilliseconds; }
    // Called on the watchdog's thread for a call that has not returned, with
    // where the samples found it; false leaves it to the watchdog's own
    // question (end Dllscope or wait on).
    virtual bool OnHang(const ForeignCall&, unsigned long long /*milliseconds*/, const HangPlace&) {
        return false;
    }
};

}  // namespace dllscope
