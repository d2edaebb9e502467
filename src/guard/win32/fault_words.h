#pragma once
// What the guard says about a fault, in German: its kind, its code and
// where it happened, and the sentence a command reports.
#include <windows.h>

#include <string>

#include "guard/foreign_call.h"
#include "guard/win32/guarded_run.h"

namespace dllscope {

// The kind of fault, its code and where: "Zugriffsverletzung (0xC0000005)
// beim Schreiben an Adresse 0x0 in crash.dll+0x1A2B".
std::wstring DescribeFault(const Fault& fault);

// Its parts: the kind in words ("Zugriffsverletzung"), and where it
// happened, from the image base ("crash.dll+0x1A2B") and from the nearest
// export below ("crash.dll!TsRun+0x1C", the former where none lies below);
// an address outside every module, or empty for an exception that software
// raised.
std::wstring FaultKindWords(DWORD code);
std::wstring FaultWhere(const Fault& fault);
std::wstring FaultPlace(const Fault& fault);

// "Das Plugin „x.dll“ ist beim Aufruf von PluginRun abgestürzt: ….".
std::wstring CrashReport(const ForeignCall& call, const Fault& fault);

// A call whose process ended: "Das Plugin „exit.dll“ hat beim Aufruf von
// PluginRun den Prozess beendet (Exit-Code 3).", or for a status of the
// system "… hat seinen Prozess beim Aufruf von PluginRun zum Absturz
// gebracht: Prozess endete mit 0xC0000374 (Heap beschädigt).".
std::wstring EndedReport(const ForeignCall& call, DWORD exitCode);
// "Das Plugin „loop.dll“ antwortet nicht seit 30 s (beim Aufruf von
// PluginRun); sein Prozess wurde beendet."
std::wstring HungReport(const ForeignCall& call, unsigned long long milliseconds);

}  // namespace dllscope
