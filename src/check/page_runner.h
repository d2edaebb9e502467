#pragma once
// What the fuzzing campaign and the profile need of the check they belong
// to: a run of the plugin on one page, what its process holds, the clock,
// the follower's word and the saving of a failing page.
#include <cstddef>
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

class PageRunner {
  public:
    virtual ~PageRunner() = default;
    // One run of the plugin on `page` in a bridge cycle of its own, as a
    // case named `name`: fault, hang, time and size.
    virtual CaseResult RunPage(const std::wstring& name, const std::wstring& page) = 0;
    // The same run with the plugin kept loaded from one such run to the
    // next (its loads and frees left out): what the fuzzing's many runs
    // take. Where nothing can be kept, a run of its own. `fresh`: the
    // plugin was loaded for this run (no earlier run left it changed).
    virtual CaseResult RunKept(const std::wstring& name, const std::wstring& page, bool& fresh) {
        fresh = true;
        return RunPage(name, page);
    }
    // Frees what RunKept keeps loaded.
    virtual void Release() {}
    // How many marks of the plugin's lines the runs have reached so far; 0
    // where the lines are not followed.
    virtual std::size_t MarksReached() { return 0; }
    // A page that reached lines no page reached before, kept where the
    // author keeps the corpus (--corpus).
    virtual void KeepInCorpus(const std::wstring& /*page*/) {}
    // How long one call of the plugin may take from now on, in
    // milliseconds, within the check's own limit; 0: that limit again.
    virtual void LimitCalls(double /*milliseconds*/) {}
    // One more run of `page`, with the plugin's thread sampled throughout:
    // where the plugin spends its time, by its lines, largest share first.
    virtual std::vector<LineShare> HotSpots(const std::wstring& /*page*/) { return {}; }
    // After a run the campaign made of its own accord (not a shrinking's):
    // what the plugin left running is noted.
    virtual void AfterRun() {}
    // What the plugin's process holds now; `remember` keeps its handles for NewHandleTypes.
    virtual CycleUsage Usage(bool remember) = 0;
    // The type names of the handles opened since the remembered moment.
    virtual std::vector<std::wstring> NewHandleTypes() = 0;
    virtual double Milliseconds() = 0;  // a steady clock
    // Where the check stands (`done` from 0 to 1 of the stage, more is read
    // as 1); false from the moment the follower stopped the check on.
    virtual bool Going(const std::wstring& stage, double done) = 0;
    // A failing page saved as the author asked, under `name`: where it went, or empty.
    virtual std::wstring SaveFailure(const std::wstring& name, const std::wstring& page) = 0;
};

}  // namespace dllscope
