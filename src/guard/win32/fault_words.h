#pragma once
// What the guard says about a fault, in German: its kind, its code and
// where it happened, and the sentence a command reports.
#include <windows.h>

#include <string>
#include <vector>

#include "guard/foreign_call.h"
#include "guard/win32/guarded_run.h"
#include "sampling/code_samples.h"
#include "symbols/stack_frame.h"

namespace dllscope {

// The frames of a fault's stack that belong to the call: those of the
// call's module, innermost first, with the frames of other modules between
// them, named by the modules' debug information where they have it. Reads
// the modules' files: after the fault has landed, before the module is freed.
std::vector<StackFrame> FaultStack(const ForeignCall& call, const Fault& fault);

// The kind of fault, its code and where, the first `frames` frames of its
// stack: "Zugriffsverletzung (0xC0000005) beim Schreiben an Adresse 0x0 in
// lines.c:24 (HandleTag), aufgerufen aus lines.c:35 (ParseDocument)"; with no
// stack, the place of the fault alone ("in crash.dll+0x1A2B").
std::wstring DescribeFault(const Fault& fault, const std::vector<StackFrame>& stack = {},
                           std::size_t frames = 3);

// Its parts: the kind in words ("Zugriffsverletzung"), where it happened
// from the image base ("crash.dll+0x1A2B"), and its place in words (the
// first frame: "lines.c:24 (HandleTag)", "crash.dll!TsRun+0x1C (…)"); an
// address outside every module, or empty for an exception that software
// raised.
std::wstring FaultKindWords(DWORD code);
std::wstring FaultWhere(const Fault& fault);
std::wstring FaultPlace(const Fault& fault, const std::vector<StackFrame>& stack);

// Whether a return went to an address made of text ("XXXX"): a buffer on
// the stack ran over the return address. `text`: those bytes.
bool ReturnMadeOfText(const Fault& fault, std::wstring& text);

// "Das Plugin „x.dll“ ist beim Aufruf von PluginRun abgestürzt: ….", the
// first three frames of its stack.
std::wstring CrashReport(const ForeignCall& call, const Fault& fault,
                         const std::vector<StackFrame>& stack);

// A call whose process ended: "Das Plugin „exit.dll“ hat beim Aufruf von
// PluginRun den Prozess beendet (Exit-Code 3).", or for a status of the
// system "… hat seinen Prozess beim Aufruf von PluginRun zum Absturz
// gebracht: Prozess endete mit 0xC0000374 (Heap beschädigt).".
std::wstring EndedReport(const ForeignCall& call, DWORD exitCode);
// "Das Plugin „loop.dll“ antwortet nicht seit 30 s (beim Aufruf von
// PluginRun) und hängt in loop.c:12–13 (Spin, aufgerufen aus TsRun); sein
// Prozess wurde beendet."
std::wstring HungReport(const ForeignCall& call, unsigned long long milliseconds,
                        const HangPlace& place);

}  // namespace dllscope
