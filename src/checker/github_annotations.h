#pragma once
// The check's failing findings as workflow commands of GitHub's runner: one
// "::error file=…,line=…,title=…::…" a finding, every text escaped by the
// runner's rules so that no plugin text can end a command or begin another.
#include <string>
#include <vector>

#include "checker/findings.h"

namespace dllscope {

std::string GithubAnnotations(const std::vector<Finding>& findings);

// The runner's escapes: of a command's message ('%', CR, LF) and of a
// property's value (those, ':' and ',').
std::string EscapeCommandData(const std::string& utf8);
std::string EscapeCommandProperty(const std::string& utf8);

}  // namespace dllscope
