// Strings across the library boundary: ANSI copies, write-back, BSTR results.
#include <gtest/gtest.h>

#include "common/win32/ansi.h"
#include "guard/win32/foreign_result.h"
#include "guard/win32/guard.h"

namespace dllscope {
namespace {

TEST(Conversions, UmlautsCrossTheBoundaryAndForeignCharactersBecomeTheCodePagesFallback) {
    ASSERT_EQ(GetACP(), 1252u) << "the tests expect Windows-1252 as the ANSI code page";
    EXPECT_EQ(ToAnsi(L"Grüße"),
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(FromAnsi("Gr\xFC\xDF"
                       "e",
                       5),
              L"Grüße");
    EXPECT_EQ(ToAnsi(L"\u20AC"), "\x80");                        // the euro sign is in 1252
    EXPECT_EQ(ToAnsi(L"a\u03A9b"), "aOb");                       // the system's best fit
    EXPECT_EQ(FromAnsi(ToAnsi(L"a\u4E2Db").data(), 3), L"a?b");  // no fit at all
    EXPECT_EQ(ToAnsi(L""), "");
}

TEST(Conversions, WriteBackTakesTheWholeBufferWithItsLengthUnchanged) {
    std::wstring path = L"C:\\Plugins\\Äpfel.dll";
    AnsiArg arg(path);
    EXPECT_STREQ(arg.get(), "C:\\Plugins\\\xC4pfel.dll");
    CharUpperA(arg.get());
    arg.WriteBack(path);
    EXPECT_EQ(path, L"C:\\PLUGINS\\ÄPFEL.DLL");
    // A NUL written into the middle stays part of the string: the length is the buffer's.
    arg.get()[2] = '\0';
    arg.WriteBack(path);
    EXPECT_EQ(path.size(), 20u);
    EXPECT_EQ(path[2], L'\0');
    EXPECT_EQ(path.substr(3), L"PLUGINS\\ÄPFEL.DLL");
}

std::wstring TakeAnsiBstr(BSTR result) {
    return TakeForeignAnsiBstr(ForeignCall::Export(L"Das Plugin", L"test.dll", L"PluginRun"), result);
}

TEST(Conversions, BstrResultsAreTakenByByteLengthAndFreed) {
    EXPECT_EQ(TakeAnsiBstr(nullptr), L"");
    EXPECT_EQ(TakeAnsiBstr(SysAllocStringByteLen("", 0)), L"");
    const std::wstring withNul = TakeAnsiBstr(SysAllocStringByteLen("a\0b\xE4", 4));
    EXPECT_EQ(withNul, std::wstring(L"a\0b\u00E4", 4));
    // An odd byte count, as ANSI results have: no byte is lost or added.
    EXPECT_EQ(TakeAnsiBstr(SysAllocStringByteLen("abc", 3)), L"abc");
}

}  // namespace
}  // namespace dllscope
