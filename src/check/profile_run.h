#pragma once
// The profile of one plugin: pages of growing size made from the seeds,
// each run through a PageRunner, the median time and the peak of memory of
// each size, and the growth fitted to them.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check/page_runner.h"

namespace dllscope {

class ProfileRun {
  public:
    ProfileRun(PageRunner& runner, std::vector<std::wstring> seeds)
        : runner_(runner), seeds_(std::move(seeds)) {}

    // The profile; nothing when the follower stopped it before the first
    // size was measured. A case of `cases` that hung learns whether the
    // plugin is merely slow and how long its page would take.
    std::optional<ProfileSummary> Run(std::vector<CaseResult>& cases);

  private:
    // The median time of a page of `size` characters; false when a run
    // failed (said in `p.stopped`) or the follower stopped the profile.
    bool Measure(std::size_t size, ProfileSummary& p, double& median);
    bool Going(const std::wstring& stage, double done);

    PageRunner& runner_;
    std::vector<std::wstring> seeds_;
    bool stopped_ = false;
};

}  // namespace dllscope
