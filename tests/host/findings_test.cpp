// The findings as the CI's reports place them: paths below the checkout,
// and the runner's escapes that keep a plugin's texts from making commands.
#include <gtest/gtest.h>

#include "checker/findings.h"
#include "checker/github_annotations.h"
#include "checker/sarif_report.h"

namespace dllscope {
namespace {

TEST(Findings, SourcePathsAreMadeRelativeToTheCheckoutInEveryForm) {
    EXPECT_EQ(RelativeSource(L"/home/ci/src/lines.c", L"/home/ci"), L"src/lines.c");
    EXPECT_EQ(RelativeSource(L"/home/ci/src/lines.c", L"/home/ci/"), L"src/lines.c");
    // A Unix path below a root given as Wine names it.
    EXPECT_EQ(RelativeSource(L"/home/ci/src/lines.c", L"Z:\\home\\ci"), L"src/lines.c");
    // Windows paths: either slash, any case of letters.
    EXPECT_EQ(RelativeSource(L"C:\\Users\\Ana\\plugin\\x.c", L"c:/users/ana"), L"plugin/x.c");
    // Not below the root: the whole path, with forward slashes.
    EXPECT_EQ(RelativeSource(L"/home/cix/lines.c", L"/home/ci"), L"/home/cix/lines.c");
    EXPECT_EQ(RelativeSource(L"D:\\b\\x.c", L"C:\\b"), L"D:/b/x.c");
    EXPECT_EQ(RelativeSource(L"D:\\b\\x.c", L""), L"D:/b/x.c");
    EXPECT_EQ(SourceUri(L"src/a b%.c"), "src/a%20b%25.c");
    EXPECT_EQ(SourceUri(L"C:\\b\\ä.c"), "file:///C:/b/%C3%A4.c");
    EXPECT_EQ(SourceUri(L"/b/x.c"), "file:///b/x.c");
}

PluginReport Faulted(const std::wstring& name) {
    PluginReport r;
    r.file = L"x.dll";
    r.name = name;
    FaultRecord fault;
    fault.message = L"Das Plugin ist abgestürzt:\r\n::error::50% in a,b";
    fault.stack = {{L"msvcrt.dll", L"strlen", L"", 0, L"msvcrt.dll+0x10", 4},
                   {L"x.dll", L"Parse", L"/ci/src/x,y:z.c", 24, L"x.dll+0x20", 0}};
    r.faults.push_back(fault);
    r.warnings.push_back(L"Eine Warnung");
    return r;
}

TEST(Findings, EachFindingIsOneCommandAndNoTextOfThePluginEndsOrBeginsOne) {
    const std::vector<Finding> findings =
        Findings({Faulted(L"Name\n::error title=OK::gut")}, L"/ci");
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].file, L"src/x,y:z.c");  // the first frame with a line
    EXPECT_EQ(findings[0].line, 24u);
    EXPECT_FALSE(findings[1].error);  // a warning that does not fail the plugin
    EXPECT_EQ(GithubAnnotations(findings),
              "::error file=src/x%2Cy%3Az.c,line=24,title=Absturz in x.dll "
              "(\xE2\x80\x9EName%0A%3A%3Aerror title=OK%3A%3Agut\xE2\x80\x9C)::Das Plugin ist "
              "abgestürzt:%0D%0A::error::50%25 in a,b\n"
              "::warning title=Warnung in x.dll (\xE2\x80\x9EName%0A%3A%3Aerror "
              "title=OK%3A%3Agut\xE2\x80\x9C)::Eine Warnung\n");
}

}  // namespace
}  // namespace dllscope
