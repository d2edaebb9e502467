// The demo panel's roads to plugins: the exports plugrun and pbplugin bound
// in the fixed library folder, automation values, the demo automation class.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/runtime_error.h"
#include "main_window/win32/form1_window.h"
#include "main_window/win32/demo_library_folder.h"
#include "common/win32/ansi.h"
#include "main_window/win32/demo.h"
#include "test_support.h"
#include "window_helpers.h"

namespace dllscope::testing {
namespace {

using ::testing::HasSubstr;

std::wstring FailureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.Description();
    }
    return L"(no error)";
}

TEST(DemoExports, PlugrunAndPbpluginAreFoundInTheFixedLibraryFolder) {
    Bindings bindings;
    Win32DemoExports exports(bindings, kDemoLibraryFolder);
    EXPECT_EQ(exports.plugrun(L"<p>Zwei Wörter</p>"), L"Zeichen: 18, Wörter: 2, Tags: 2");
    EXPECT_EQ(exports.plugrun(L""), L"Zeichen: 0, Wörter: 0, Tags: 0");
    EXPECT_EQ(exports.pbpluginElement(L"a"), 1);
    EXPECT_EQ(exports.pbpluginElement(L"TABLE"), exports.pbpluginElement(L"table"));
    EXPECT_THAT(FailureOf([&] { exports.pbpluginElement(L"blink"); }),
                HasSubstr(L"\u201Eblink\u201C ist kein HTML-Element"));
    Win32DemoExports elsewhere(bindings, L"C:\\gibt\\es\\nicht");
    EXPECT_THAT(FailureOf([&] { elsewhere.plugrun(L"x"); }),
                HasSubstr(L"\u201EC:\\gibt\\es\\nicht\\comdemo.dll\u201C wurde nicht gefunden"));
}

// A one-dimensional array of `type` holding `values`, from 0.
VARIANT ArrayOf(VARTYPE type, const std::vector<VARIANT>& values) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    v.parray = SafeArrayCreateVector(type, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        VARIANT value = values[static_cast<std::size_t>(i)];
        if (type == VT_VARIANT) {
            SafeArrayPutElement(v.parray, &i, &value);
        } else {
            VariantChangeType(&value, &value, 0, type);
            SafeArrayPutElement(v.parray, &i, &value.lVal);
        }
    }
    return v;
}

VARIANT Long(LONG n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

TEST(VariantElement, ArraysAreIndexedByTheTextAsANumber) {
    VARIANT numbers = ArrayOf(VT_I4, {Long(10), Long(20), Long(30)});
    EXPECT_EQ(VariantElement(numbers, L"1"), 20);
    EXPECT_THAT(FailureOf([&] { VariantElement(numbers, L"3"); }), HasSubstr(L"kein Element 3"));
    EXPECT_THAT(FailureOf([&] { VariantElement(numbers, L"eins"); }), HasSubstr(L"keine Zahl"));
    VariantClear(&numbers);

    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"42");
    VARIANT notANumber;
    VariantInit(&notANumber);
    notANumber.vt = VT_BSTR;
    notANumber.bstrVal = SysAllocString(L"zweiundvierzig");
    VARIANT mixed = ArrayOf(VT_VARIANT, {text, notANumber});
    EXPECT_EQ(VariantElement(mixed, L"0"), 42);
    EXPECT_THAT(FailureOf([&] { VariantElement(mixed, L"1"); }), HasSubstr(L"keine 32-Bit-Zahl"));
    VariantClear(&mixed);
    VariantClear(&text);
    VariantClear(&notANumber);
}

TEST(VariantElement, AValueThatIsNeitherObjectNorArrayCannotBeIndexed) {
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_THAT(FailureOf([&] { VariantElement(empty, L"a"); }),
                HasSubstr(L"(Typ 0x0000) lässt sich nicht mit \u201Ea\u201C indizieren"));
    EXPECT_THAT(FailureOf([&] { VariantElement(Long(5), L"0"); }), HasSubstr(L"Typ 0x0003"));
}

// The demo automation class, registered by the server's own entry point.
HRESULT CallServer(const char* entry) {
    return CallDemoServer(std::wstring(kDemoLibraryFolder) + L"\\actxdemo.dll", entry);
}

class ComApartment : public ::testing::Test {
  protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
    Win32Automation automation;
};

using AutomationRegistered = ComApartment;

TEST_F(AutomationRegistered, TheFirstMethodTurnsTheTextIntoParagraphs) {
    ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);
    EXPECT_EQ(automation.DemoClassFirstMethod(L"Grüße\r\naus Köln\r\n\r\n<b> & </b>"),
              L"<p>Grüße aus Köln</p>\r\n<p>&lt;b&gt; &amp; &lt;/b&gt;</p>");
    EXPECT_EQ(automation.DemoClassFirstMethod(L""), L"");
    // The editor component's class is not registered here: no effect, no error.
    EXPECT_NO_THROW(automation.CreateAndReleaseEditorObject());
}

using AutomationUnregistered = ComApartment;

TEST_F(AutomationUnregistered, CreatingTheClassFailsNamingIt) {
    ASSERT_EQ(CallServer("DllUnregisterServer"), S_OK);
    const std::wstring why = FailureOf([&] { automation.DemoClassFirstMethod(L"x"); });
    EXPECT_THAT(why, HasSubstr(L"{C70AA879-112A-4294-9096-CFC5158773F3}"));
    EXPECT_THAT(why, HasSubstr(L"0x80040154"));
}

// The wrapper demos through Form1 and the recording bridge: the demo
// plugins are not in this folder, and the bridge is called all the same.
using WrapperDemos = Form1WindowTest;

TEST_F(WrapperDemos, TextAndFormGoThroughTheBridgeWithTheDemoPluginPath) {
    window.Editor().SetWorkText(L"Grüße");
    Click(L"Command4");
    EXPECT_EQ(window.Editor().Text(), L"text:Grüße");
    Click(L"Command5");
    EXPECT_EQ(window.Editor().Text(), L"form:text:Grüße");
    const auto log = ReadCallLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0],
              "PluginWrappText|Gr\xFC\xDF"
              "e|" +
                  ToAnsi(InTestFolder(L"demotext.dll")));
    EXPECT_EQ(log[1],
              "PluginWrappForm|text:Gr\xFC\xDF"
              "e|" +
                  ToAnsi(InTestFolder(L"demopane.dll")));
}

TEST_F(WrapperDemos, TheFormDemoRefusesMoreThan1200CodeUnits) {
    MessageBoxWatcher watcher;
    const std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    std::wstring text;
    for (int i = 0; i < 300; ++i) text += L"ä" + pair + L"ö";  // 1200 units, 900 characters
    window.Editor().SetWorkText(text + L"ü");
    Click(L"Command5");
    EXPECT_EQ(window.Editor().Text(), text + L"ü");
    EXPECT_TRUE(ReadCallLog().empty());
    window.Editor().SetWorkText(text);
    Click(L"Command5");
    EXPECT_EQ(ReadCallLog().size(), 1u);
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"Die Anzahl der Zeichen ist zu groß!");
    EXPECT_EQ(seen[0].icon, BoxIcon::None);
}

// The classes that Command8 and Command11 create, served by a counting test
// object registered under their identifiers: a wrong identifier creates
// nothing, and an object that is not released stays alive.
class CountingObjects : public Form1WindowTest {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Form1WindowTest::SetUp();
        counting_ = LoadLibraryW(InTestFolder(L"counting.dll").c_str());
        ASSERT_NE(counting_, nullptr);
    }
    void TearDown() override {
        for (const wchar_t* key : kKeys) {
            for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
                RegDeleteTreeW(root, key);
        }
        CallServer("DllRegisterServer");  // the demo class as the README's command leaves it
        CoUninitialize();
    }
    // Registers counting.dll under a class, for the user and (where Wine looks) the machine.
    void RegisterCounting(const wchar_t* key) {
        const std::wstring server = InTestFolder(L"counting.dll");
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeW(root, key);
            HKEY k = nullptr;
            ASSERT_EQ(RegCreateKeyExW(root, (std::wstring(key) + L"\\InprocServer32").c_str(), 0,
                                      nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                           static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(k);
        }
    }
    LONG Count(const char* which) {
        using Counter = LONG(WINAPI*)();
        return reinterpret_cast<Counter>(
            reinterpret_cast<void (*)()>(GetProcAddress(counting_, which)))();
    }

    static constexpr const wchar_t* kKeys[] = {
        L"Software\\Classes\\CLSID\\{ECEDB944-AC41-11D2-AB20-000000000000}",
        L"Software\\Classes\\CLSID\\{C70AA879-112A-4294-9096-CFC5158773F3}"};
    HMODULE counting_ = nullptr;
};

TEST_F(CountingObjects, Command8CreatesTheEditorsClassAndReleasesIt) {
    RegisterCounting(kKeys[0]);
    const LONG before = Count("CountingCreated");
    Click(L"Command8");
    EXPECT_EQ(Count("CountingCreated"), before + 1);
    EXPECT_EQ(Count("CountingAlive"), 0);
}

TEST_F(CountingObjects, Command11ShowsWhatTheDemoClassMadeAndReleasesIt) {
    RegisterCounting(kKeys[1]);
    const LONG before = Count("CountingCreated");
    window.Editor().SetWorkText(L"Grüße");
    Click(L"Command11");
    EXPECT_EQ(window.Editor().Text(), L"gezählt: Grüße");
    EXPECT_EQ(Count("CountingCreated"), before + 1);
    EXPECT_EQ(Count("CountingAlive"), 0);
}

}  // namespace
}  // namespace dllscope::testing
