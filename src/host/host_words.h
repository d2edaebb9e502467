#pragma once
// What the caller says when its host fails it, naming the plugin and the
// call: "Der Plugin-Prozess von „x.dll“ hat beim Aufruf von PluginRun …".
#include <cstdint>
#include <string>

#include "guard/foreign_call.h"

namespace dllscope {

// "Der Plugin-Prozess von „x.dll“".
std::wstring HostOf(const ForeignCall& call);
// The pipe closed, or the host ended on its own account, during `call`.
std::wstring LostConnectionReport(const ForeignCall& call);
// An answer that breaks the protocol: `why` says how.
std::wstring MalformedAnswerReport(const ForeignCall& call, const std::wstring& why);
// The fast lane's slots were written over while a message crossed.
std::wstring DamagedMessageReport(const ForeignCall& call);
// A request too large for a frame, refused before it is sent.
std::wstring TooLargeReport(const ForeignCall& call, std::uint64_t size, std::uint64_t limit);
// An answer the host did not send: with `size` bytes over the caller's
// `limit`. Said by the host.
std::wstring AnswerTooLargeReport(std::uint64_t size, std::uint64_t limit);
// What the host reports of a failure or a fault (`report`, the plugin's to
// write like every byte of the host's) as the caller shows it: bounded, and
// naming the plugin where it does not.
std::wstring HostReport(const ForeignCall& call, const std::wstring& report);
// A host of another version, or a process that is not the one started.
std::wstring OtherVersionReport(const std::wstring& program, std::uint32_t version,
                                std::uint32_t expected);
std::wstring OtherProcessReport(const std::wstring& program, unsigned long started,
                                unsigned long greeted);

}  // namespace dllscope
