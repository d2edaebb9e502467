#pragma once
// The check's findings as SARIF 2.1.0: a rule for each kind of finding, each
// result at the file and line of the author's source where the plugin's
// debug information names it, else at the plugin's file.
#include <string>
#include <vector>

#include "checker/findings.h"

namespace dllscope {

std::string SarifReport(const std::vector<Finding>& findings, const std::wstring& version);

// A path as a SARIF artifact URI: percent-encoded, absolute ones as file URIs.
std::string SourceUri(const std::wstring& path);

}  // namespace dllscope
