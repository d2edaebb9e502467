// The caller's side of a plugin's host against the host's answers, through
// a channel in memory, with recording fakes behind the host: what one end
// writes the other must read, and every way an answer can go wrong ends in
// the caller's words for it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>

#include "fakes.h"
#include "host/host_client.h"
#include "host/host_server.h"
#include "host/host_words.h"

namespace dllscope {
namespace {

using testing::FakeBridge;
using testing::FakeLibraries;
using testing::Journal;

// What the guard's fault is in the host.
struct FakeFault : std::runtime_error {
    FakeFault() : std::runtime_error("fault") {}
};

// Shared memory as a table of blocks; a token taken is gone.
struct MemoryBulk : BulkChannel {
    std::map<std::uint64_t, std::string> blocks;
    std::uint64_t next = 100;
    int puts = 0;
    bool Put(const std::string& bytes, std::uint64_t& token) override {
        ++puts;
        blocks[token = next++] = bytes;
        return true;
    }
    bool Take(std::uint64_t token, std::uint32_t size, std::string& bytes) override {
        const auto block = blocks.find(token);
        if (block == blocks.end() || block->second.size() < size) return false;
        bytes = block->second.substr(0, size);
        blocks.erase(block);
        return true;
    }
};

class FakePlatform : public HostPlatform {
  public:
    MemoryBulk* bulk = nullptr;
    BulkChannel* Bulk() override { return bulk; }
    unsigned long LastLoadError() override { return 126; }
    ProcessUsage Usage(bool remember) override { return {remember ? 7 : 8, 4096, 1000}; }
    std::vector<std::wstring> NewHandleTypes() override { return {L"Event", L"Thread"}; }
    std::wstring covered;
    unsigned Cover(const std::wstring& section, const std::wstring& module,
                   const std::wstring& alias) override {
        covered = section + L"|" + module + L"|" + alias;
        return 3;
    }
    bool AsFault(const std::exception& error, FaultRecord& fault) override {
        if (!dynamic_cast<const FakeFault*>(&error)) return false;
        fault = {L"PluginRun",
                 L"Zugriffsverletzung",
                 0xC0000005u,
                 L"x.dll+0x10",
                 L"Das Plugin \u201Ex.dll\u201C ist abgestürzt.",
                 L"x.c:24 (HandleTag)"};
        fault.stack = {{L"x.dll", L"HandleTag", L"/src/x.c", 24, L"x.dll+0x10", 6},
                       {L"msvcrt.dll", L"", L"", 0, L"msvcrt.dll+0x3A0", 0}};
        return true;
    }
};

// Texts as Latin-1 bytes, standing in for the ANSI code page.
std::string Latin1(const std::wstring& text) {
    std::string bytes;
    for (const wchar_t c : text) bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    return bytes;
}
std::wstring FromLatin1(const std::string& bytes) {
    std::wstring text;
    for (const char c : bytes) text.push_back(static_cast<unsigned char>(c));
    return text;
}

struct Latin1Codec : PluginTextCodec {
    std::string ToPlugin(const std::wstring& text) override { return Latin1(text); }
    std::wstring FromPlugin(const ForeignCall&, const std::string& bytes) override {
        return FromLatin1(bytes);
    }
};

// The fake bridge's text exports as the host calls them: bytes.
struct FakeTextExports : TextExports {
    explicit FakeTextExports(Bridge& b) : bridge(b) {}
    std::string TextCall(const char* exportName, std::string& text,
                         std::wstring& pluginPath) override {
        const std::string name = exportName;
        const std::wstring wide = FromLatin1(text);
        return Latin1(name == "PluginRun"         ? bridge.PluginRun(wide, pluginPath)
                      : name == "PluginWrappText" ? bridge.PluginWrappText(wide, pluginPath)
                                                  : bridge.PluginWrappForm(wide, pluginPath));
    }
    Bridge& bridge;
};

// One end of a stream in memory: what was put `in` is read, what is written goes `out`.
class MemoryStream : public ByteSource, public ByteSink {
  public:
    std::string in, out;
    std::size_t at = 0;
    std::size_t ReadSome(char* to, std::size_t max) override {
        const std::size_t n = std::min(max, in.size() - at);
        std::memcpy(to, in.data() + at, n);
        at += n;
        return n;
    }
    bool WriteAll(const char* data, std::size_t size) override {
        out.append(data, size);
        return true;
    }
};

// The pipe in memory: a request is answered as soon as its frame is whole.
// `tamper` changes an answer (or the greeting) on its way to the caller.
class MemoryConnection : public HostConnection {
  public:
    explicit MemoryConnection(HostServer& server) : server_(server) {}
    MemoryBulk* bulk = nullptr;
    BulkChannel* Bulk() override { return bulk; }

    std::function<void(std::string& frame)> tamper;
    int starts = 0, closes = 0;
    unsigned long processId = 4711;
    std::vector<std::wstring> calls;  // as SetCall got them
    std::size_t requests = 0;

    void Open() override {
        open_ = true;
        ++starts;
        toCaller_ = MemoryStream();
        fromCaller_.clear();
        Deliver(HostServer::HelloFrame(4711));
    }
    bool IsOpen() const override { return open_; }
    unsigned long ProcessId() const override { return processId; }
    std::wstring Program() const override { return L"dllscope-host.exe"; }
    void SetCall(const ForeignCall& call) override { calls.push_back(call.call); }
    std::size_t ReadSome(char* to, std::size_t max) override { return toCaller_.ReadSome(to, max); }
    void WriteAll(const char* data, std::size_t size) override {
        fromCaller_.append(data, size);
        while (fromCaller_.size() >= 4) {
            std::uint32_t length = 0;
            std::memcpy(&length, fromCaller_.data(), 4);
            if (fromCaller_.size() < 4 + length) break;
            ++requests;
            const std::string answer = server_.Answer(fromCaller_.substr(4, length));
            fromCaller_.erase(0, 4 + length);
            Deliver(answer);
        }
    }
    void Close() override {
        if (open_) ++closes;
        open_ = false;
    }

  private:
    void Deliver(std::string frame) {
        if (tamper) tamper(frame);
        toCaller_.in += frame;
    }
    HostServer& server_;
    bool open_ = false;
    MemoryStream toCaller_;
    std::string fromCaller_;
};

// The caller's end of a host whose bridge is `bridge`, over the channel in memory.
struct HostOver {
    HostOver(Libraries& libraries, Bridge& bridge, FakePlatform& platform, PluginTextCodec& codec)
        : texts{bridge},
          server{libraries, bridge, texts, platform},
          connection{server},
          hostBridge{client, codec} {}
    FakeTextExports texts;
    HostServer server;
    MemoryConnection connection;
    HostClient client{connection};
    HostBridge hostBridge;
};

class HostRoundTrip : public ::testing::Test {
  protected:
    Journal journal;
    FakeLibraries libraries{journal};
    FakeBridge bridge{journal};
    FakeTextExports texts{bridge};
    FakePlatform platform;
    HostServer server{libraries, bridge, texts, platform};
    MemoryConnection connection{server};
    HostClient client{connection, 4096};
    Latin1Codec codec;
    HostLibraries hostLibraries{client};
    HostBridge hostBridge{client, codec};

    // The words of what `call` threw, and whether it threw at all.
    template <class E = RuntimeError, class Call>
    std::wstring Thrown(Call call) {
        try {
            call();
        } catch (const E& e) {
            return e.Description();
        }
        return L"(nichts geworfen)";
    }
};

TEST_F(HostRoundTrip, EveryRequestAndAnswerCrossesAsTheCallerSentIt) {
    bridge.backvalue = 2;
    bridge.runResult = std::wstring(L"r\u00E4\0\u00FF", 4);  // bytes cross whole, NUL and all
    bridge.wrapperName = L"Brücke 1.0";
    bridge.rewritePath = [](std::wstring& path) { path = L"C:\\KURZ~1\\X.DLL"; };
    bridge.stackWarning = L"TsRun als __cdecl";
    libraries.failing[L"C:\\fehlt.dll"] = true;

    const LibraryHandle handle = hostLibraries.Load(L"C:\\p\\x.dll");
    EXPECT_EQ(hostLibraries.Load(L"C:\\fehlt.dll"), 0u);
    EXPECT_EQ(hostLibraries.LastLoadError(), 126u);
    std::wstring path = L"C:\\p\\x.dll";
    EXPECT_EQ(hostBridge.PluginBackvalue(path), 2);
    EXPECT_EQ(hostBridge.PluginName(path), L"Name");
    EXPECT_EQ(hostBridge.PluginDescription(path), L"Beschreibung");
    EXPECT_EQ(hostBridge.PluginRun(L"<p>\u00FC</p>", path), bridge.runResult);
    EXPECT_EQ(path, L"C:\\KURZ~1\\X.DLL");  // the bridge's write-back comes back
    EXPECT_EQ(hostBridge.PluginWrappText(L"t", path), bridge.runResult);
    EXPECT_EQ(hostBridge.PluginWrappForm(L"f", path), bridge.runResult);
    EXPECT_EQ(hostBridge.WrapperName(), L"Brücke 1.0");
    // Every plugin call's answer carries the bridge's warning; it is told once.
    EXPECT_EQ(hostBridge.TakeStackWarnings(), (std::vector<std::wstring>{L"TsRun als __cdecl"}));
    EXPECT_TRUE(hostBridge.TakeStackWarnings().empty());
    const ProcessUsage usage = HostUsage(client, true);
    EXPECT_EQ(usage.handles, 7);
    EXPECT_EQ(usage.privateBytes, 4096);
    EXPECT_EQ(usage.freeTlsSlots, 1000);
    EXPECT_EQ(HostNewHandleTypes(client), (std::vector<std::wstring>{L"Event", L"Thread"}));
    EXPECT_EQ(HostCover(client, L"Abschnitt", L"x.dll", L"X~1.DLL"), 3u);
    EXPECT_EQ(platform.covered, L"Abschnitt|x.dll|X~1.DLL");
    hostLibraries.Free(handle);

    EXPECT_EQ(
        journal,
        (Journal{L"load C:\\p\\x.dll", L"load C:\\fehlt.dll", L"PluginBackvalue C:\\p\\x.dll",
                 L"PluginName C:\\p\\x.dll", L"PluginDescription C:\\p\\x.dll",
                 L"PluginRun <p>\u00FC</p> | C:\\p\\x.dll",
                 L"PluginWrappText t | C:\\KURZ~1\\X.DLL", L"PluginWrappForm f | C:\\KURZ~1\\X.DLL",
                 L"WrapperName ", L"free C:\\p\\x.dll"}));
    EXPECT_EQ(connection.starts, 1);
    EXPECT_EQ(connection.closes, 0);
}

TEST_F(HostRoundTrip, AFailureOrAFaultInTheHostComesBackAndTheNextRequestGetsANewHost) {
    bridge.missing["PluginName"] = true;
    std::wstring path = L"C:\\p\\x.dll";
    const LibraryHandle fromTheFirstHost = hostLibraries.Load(path);
    EXPECT_EQ(Thrown([&] { hostBridge.PluginName(path); }),
              L"Der Plugin-Prozess von \u201Ex.dll\u201C meldet beim Aufruf von PluginName: In "
              L"der Bibliothek \u201Emodbridge.dll\u201C fehlt der Export \u201EPluginName\u201C.");
    EXPECT_EQ(connection.closes, 1);
    // What the ended host loaded went with it: freeing it starts no new host.
    hostLibraries.Free(fromTheFirstHost);
    EXPECT_EQ(connection.starts, 1);
    EXPECT_EQ(journal.back(), L"load C:\\p\\x.dll");

    struct FaultingBridge : FakeBridge {
        using FakeBridge::FakeBridge;
        std::wstring PluginRun(const std::wstring&, std::wstring&) override { throw FakeFault(); }
    } faulting{journal};
    HostOver faultingHost{libraries, faulting, platform, codec};
    HostBridge& faultingBridge = faultingHost.hostBridge;
    MemoryConnection& faultingConnection = faultingHost.connection;
    try {
        faultingBridge.PluginRun(L"t", path);
        FAIL() << "no fault";
    } catch (const PluginProcessFault& fault) {
        EXPECT_EQ(fault.Description(), L"Das Plugin \u201Ex.dll\u201C ist abgestürzt.");
        EXPECT_EQ(fault.Record().code, 0xC0000005u);
        EXPECT_EQ(fault.Record().place, L"x.c:24 (HandleTag)");
        ASSERT_EQ(fault.Record().stack.size(), 2u);
        EXPECT_EQ(FrameWords(fault.Record().stack[0]), L"x.c:24 (HandleTag)");
        EXPECT_EQ(fault.Record().stack[0].offset, 6u);
        EXPECT_EQ(FrameWords(fault.Record().stack[1]), L"msvcrt.dll+0x3A0");
    }
    EXPECT_EQ(faultingConnection.closes, 1);
    EXPECT_EQ(faultingBridge.PluginName(path), L"Name");
    EXPECT_EQ(faultingConnection.starts, 2);
}

// Each way an answer can break the protocol: the host is ended, the words
// name the plugin and the call, and the next request starts a new host.
TEST_F(HostRoundTrip, AnAnswerThatBreaksTheProtocolEndsTheHostInWordsNamingThePluginAndTheCall) {
    const std::wstring prefix =
        L"Der Plugin-Prozess von \u201Ex.dll\u201C hat beim Aufruf von PluginRun eine ungültige "
        L"Antwort geschickt (";
    const auto setLength = [](std::string& f, std::uint32_t n) { std::memcpy(f.data(), &n, 4); };
    const struct {
        const wchar_t* why;
        std::function<void(std::string&)> tamper;
    } cases[] = {
        {L"die Antwort auf eine andere Anfrage", [](std::string& f) { f[5] ^= 1; }},  // its number
        {L"die Antwort auf eine andere Anfrage",
         [](std::string& f) { f[9] = static_cast<char>(HostMessage::PluginName); }},
        {L"ihre Felder passen nicht zur Anfrage",
         [&](std::string& f) {
             f.push_back('x');
             setLength(f, static_cast<std::uint32_t>(f.size() - 4));
         }},
        {L"ihre Felder passen nicht zur Anfrage",
         [&](std::string& f) {
             f.resize(f.size() - 2);
             setLength(f, static_cast<std::uint32_t>(f.size() - 4));
         }},
        {L"keine Antwort", [](std::string& f) { f[4] = static_cast<char>(HostMessage::Load); }},
        {L"länger als erlaubt", [&](std::string& f) { setLength(f, 4097); }},
        {L"eine Nachricht der Länge null", [&](std::string& f) { setLength(f, 0); }},
    };
    int starts = 0;
    for (const auto& c : cases) {
        connection.tamper = [&c](std::string& f) {
            if (f[4] == static_cast<char>(HostMessage::Done)) c.tamper(f);
        };
        std::wstring path = L"C:\\p\\x.dll";
        EXPECT_EQ(Thrown([&] { hostBridge.PluginRun(L"t", path); }), prefix + c.why +
                                                                         L") und wurde beendet. "
                                                                         L"Das Plugin hat "
                                                                         L"womöglich in einen "
                                                                         L"Handle geschrieben, "
                                                                         L"der nicht seiner war.")
            << c.why;
        EXPECT_FALSE(connection.IsOpen()) << c.why;
        EXPECT_EQ(connection.starts, ++starts);
    }
    // A frame cut short by the closed pipe: the connection is lost.
    connection.tamper = [](std::string& f) {
        if (f[4] == static_cast<char>(HostMessage::Done)) f.resize(f.size() - 1);
    };
    std::wstring path = L"C:\\p\\x.dll";
    EXPECT_EQ(Thrown<PluginProcessEnded>([&] { hostBridge.PluginRun(L"t", path); }),
              LostConnectionReport(ForeignCall::Export(L"Das Plugin", L"x.dll", L"PluginRun")));
    EXPECT_FALSE(connection.IsOpen());
    connection.tamper = nullptr;
    EXPECT_EQ(hostBridge.PluginName(path), L"Name");
}

// A greeting of another kind and a failure whose report cannot be read are
// broken answers like any other: refused, never taken for what they seem.
TEST_F(HostRoundTrip, AGreetingOfAnotherKindOrAnUnreadableFailureIsRefused) {
    std::wstring path = L"C:\\p\\x.dll";
    connection.tamper = [](std::string& f) {
        if (f[4] == static_cast<char>(HostMessage::Hello))
            f[4] = static_cast<char>(HostMessage::PluginName);
    };
    const std::wstring greeted = Thrown([&] { hostBridge.PluginName(path); });
    EXPECT_NE(greeted.find(L"eine ungültige Antwort geschickt (kein Gruß)"), std::wstring::npos)
        << greeted;
    EXPECT_FALSE(connection.IsOpen());

    bridge.missing["PluginName"] = true;
    connection.tamper = [](std::string& f) {
        if (f[4] != static_cast<char>(HostMessage::Failed)) return;
        f.resize(f.size() - 3);  // the report's last character and a half
        const auto n = static_cast<std::uint32_t>(f.size() - 4);
        std::memcpy(f.data(), &n, 4);
    };
    EXPECT_EQ(Thrown([&] { hostBridge.PluginName(path); }),
              L"Der Plugin-Prozess von \u201Ex.dll\u201C hat beim Aufruf von PluginName eine "
              L"ungültige Antwort geschickt (ein unvollständiger Fehlerbericht) und wurde beendet. "
              L"Das Plugin hat womöglich in einen Handle geschrieben, der nicht seiner war.");
    EXPECT_FALSE(connection.IsOpen());
}

// An error of the host's own (no fault of the plugin's, no failure it
// reports) says where it happened.
TEST_F(HostRoundTrip, AnInternalErrorInTheHostSaysItHappenedThere) {
    struct Breaking : FakeBridge {
        using FakeBridge::FakeBridge;
        std::wstring PluginName(std::wstring&) override { throw std::logic_error("kaputt"); }
    } breaking{journal};
    HostOver breakingHost{libraries, breaking, platform, codec};
    std::wstring path = L"C:\\p\\x.dll";
    EXPECT_EQ(Thrown([&] { breakingHost.hostBridge.PluginName(path); }),
              L"Der Plugin-Prozess von \u201Ex.dll\u201C meldet beim Aufruf von PluginName: "
              L"Interner Fehler im Plugin-Prozess: kaputt");
}

// A failure's words come from the host, which the plugin can write: one that
// names the plugin stays as it is, any other is said as its host's report,
// and none is longer than a message box can show.
TEST_F(HostRoundTrip, AFailuresWordsNameThePluginAndAreBounded) {
    struct Saying : FakeBridge {
        using FakeBridge::FakeBridge;
        std::wstring words;
        std::wstring PluginName(std::wstring&) override { throw RuntimeError(words); }
    } saying{journal};
    HostOver sayingHost{libraries, saying, platform, codec};
    std::wstring path = L"C:\\p\\x.dll";
    saying.words = L"Das Plugin \u201Ex.dll\u201C mag nicht.";
    EXPECT_EQ(Thrown([&] { sayingHost.hostBridge.PluginName(path); }), saying.words);
    saying.words = L"Alles bestens.";
    EXPECT_EQ(Thrown([&] { sayingHost.hostBridge.PluginName(path); }),
              L"Der Plugin-Prozess von \u201Ex.dll\u201C meldet beim Aufruf von PluginName: Alles "
              L"bestens.");
    saying.words = std::wstring(100000, L'x');
    const std::wstring bounded = Thrown([&] { sayingHost.hostBridge.PluginName(path); });
    EXPECT_LT(bounded.size(), 4200u);
    EXPECT_EQ(bounded.substr(bounded.size() - 2), L" \u2026");
}

// An answer larger than the caller takes is not sent: the host says why,
// and the next answer comes as usual.
TEST_F(HostRoundTrip, AnAnswerOverTheCallersLimitIsRefusedByTheHost) {
    HostServer limited{libraries, bridge, texts, platform, 4096};
    MemoryConnection limitedConnection{limited};
    HostClient limitedClient{limitedConnection, 4096};
    HostBridge limitedBridge{limitedClient, codec};
    std::wstring path = L"C:\\p\\x.dll";
    bridge.runResult = std::wstring(5000, L'a');
    const std::wstring said = Thrown([&] { limitedBridge.PluginRun(L"t", path); });
    EXPECT_THAT(said, ::testing::StartsWith(L"Der Plugin-Prozess von \u201Ex.dll\u201C meldet "
                                            L"beim Aufruf von PluginRun: Die Antwort wäre mit 5."));
    EXPECT_THAT(said, ::testing::EndsWith(L" Bytes größer als erlaubt (höchstens 4.096 Bytes); der "
                                          L"Plugin-Prozess hat sie nicht geschickt."));
    bridge.runResult = L"kurz";
    EXPECT_EQ(limitedBridge.PluginRun(L"t", path), L"kurz");
}

TEST_F(HostRoundTrip, AHostOfAnotherVersionOrAnotherProcessIsRefused) {
    std::wstring path = L"C:\\p\\x.dll";
    connection.tamper = [](std::string& f) {
        if (f[4] == static_cast<char>(HostMessage::Hello)) f[9] = 1;  // version 1
    };
    EXPECT_EQ(Thrown([&] { hostBridge.PluginName(path); }),
              L"Der Plugin-Prozess \u201Edllscope-host.exe\u201C gehört zu einer anderen Version "
              L"von Dllscope (Protokoll 1 statt " +
                  std::to_wstring(kHostProtocolVersion) + L").");
    EXPECT_FALSE(connection.IsOpen());
    connection.tamper = nullptr;
    connection.processId = 99;  // started, but 4711 greets
    EXPECT_EQ(Thrown([&] { hostBridge.PluginName(path); }),
              L"Mit der Pipe des Plugin-Prozesses \u201Edllscope-host.exe\u201C hat sich ein "
              L"anderer Prozess verbunden (Prozess 4711 statt 99); die Verbindung wurde getrennt.");
    EXPECT_TRUE(journal.empty());
}

TEST_F(HostRoundTrip, ATextTooLargeForAFrameIsRefusedBeforeItIsSent) {
    std::wstring path = L"C:\\p\\x.dll";
    EXPECT_EQ(hostBridge.PluginName(path), L"Name");
    const std::size_t before = connection.requests;
    EXPECT_EQ(Thrown([&] { hostBridge.PluginRun(std::wstring(4100, L'a'), path); }),
              L"Die Anfrage beim Aufruf von PluginRun ist mit 4.134 Bytes zu groß für den "
              L"Plugin-Prozess (höchstens 4.096 Bytes); sie wurde nicht geschickt.");
    EXPECT_EQ(connection.requests, before);
    EXPECT_TRUE(connection.IsOpen());  // the host goes on
    // The limit is the message's, without the four bytes of its length:
    // 4,062 characters make exactly 4,096 bytes, one more is one too many.
    EXPECT_EQ(hostBridge.PluginRun(std::wstring(4062, L'a'), path), L"");
    EXPECT_EQ(connection.requests, before + 1);
    EXPECT_EQ(Thrown([&] { hostBridge.PluginRun(std::wstring(4063, L'a'), path); }),
              L"Die Anfrage beim Aufruf von PluginRun ist mit 4.097 Bytes zu groß für den "
              L"Plugin-Prozess (höchstens 4.096 Bytes); sie wurde nicht geschickt.");
}

TEST_F(HostRoundTrip, LargeBytesGoThroughTheBulkChannelAndAForgedTokenIsRefused) {
    MemoryBulk bulk;
    platform.bulk = connection.bulk = &bulk;
    HostClient large{connection};  // the host's own limit
    HostBridge largeBridge{large, codec};
    bridge.runResult = std::wstring(kBulkFrom + 1, L'\u00E4');
    std::wstring path = L"C:\\p\\x.dll";
    EXPECT_EQ(largeBridge.PluginRun(std::wstring(kBulkFrom, L'a'), path), bridge.runResult);
    EXPECT_EQ(bulk.puts, 2);  // the text there, the result back
    EXPECT_TRUE(bulk.blocks.empty());
    EXPECT_EQ(journal.back(), L"PluginRun " + std::wstring(kBulkFrom, L'a') + L" | C:\\p\\x.dll");
    // Bytes of a section count against the client's limit like a frame's.
    HostClient limited{connection, static_cast<std::uint32_t>(kBulkFrom + 64)};
    HostBridge limitedBridge{limited, codec};
    bridge.runResult = std::wstring(2 * kBulkFrom, L'a');
    EXPECT_EQ(Thrown([&] { limitedBridge.PluginRun(L"t", path); }),
              L"Der Plugin-Prozess von \u201Ex.dll\u201C hat beim Aufruf von PluginRun eine "
              L"ungültige Antwort geschickt (ihre Felder passen nicht zur Anfrage) und wurde "
              L"beendet. Das Plugin hat womöglich in einen Handle geschrieben, der nicht seiner "
              L"war.");
    connection.tamper = [](std::string& f) {
        if (f[4] == static_cast<char>(HostMessage::Done)) f[f.size() - 30] ^= 1;  // the token
    };
    EXPECT_EQ(Thrown([&] { largeBridge.PluginRun(L"t", path); }),
              L"Der Plugin-Prozess von \u201Ex.dll\u201C hat beim Aufruf von PluginRun eine "
              L"ungültige Antwort geschickt (ihre Felder passen nicht zur Anfrage) und wurde "
              L"beendet. Das Plugin hat womöglich in einen Handle geschrieben, der nicht seiner "
              L"war.");
}

// The host's loop: a request it cannot read is answered, not the end of it.
TEST_F(HostRoundTrip, TheHostAnswersARequestItCannotReadAndEndsOnlyOnQuitOrALostPipe) {
    MemoryStream stream;
    MessageWriter unknown(static_cast<HostMessage>(40));
    unknown.U32(5);
    MessageWriter cut(HostMessage::PluginRun);
    cut.U32(6).U32(1000);  // a text of 1000 units that is not there
    std::string longer = RequestFrame(NameRequest{L"x.dll"}, 8) + "!";  // a byte after its fields
    const auto n = static_cast<std::uint32_t>(longer.size() - 4);
    std::memcpy(longer.data(), &n, 4);
    stream.in = unknown.Frame() + cut.Frame() + longer + RequestFrame(QuitRequest{}, 7);
    EXPECT_EQ(server.Serve(stream, stream, 1), HostEnd::Quit);
    MemoryStream replies;
    replies.in = stream.out;
    FrameReader frames(replies);
    std::string message;
    std::vector<std::uint32_t> failedIds;
    while (frames.Next(kHostFrameLimit, message) == FrameRead::Complete) {
        MessageReader reader(message);
        MessageHead head;
        ReadHead(reader, head);
        if (head.kind == HostMessage::Failed) failedIds.push_back(head.id);
    }
    EXPECT_EQ(failedIds, (std::vector<std::uint32_t>{5, 6, 8}));
    EXPECT_TRUE(journal.empty());

    MemoryStream closed;
    closed.in = RequestFrame(NameRequest{L"x.dll"}, 1).substr(0, 7);
    EXPECT_EQ(server.Serve(closed, closed, 1), HostEnd::LostPipe);
    MemoryStream empty;
    empty.in = std::string(4, '\0');
    EXPECT_EQ(server.Serve(empty, empty, 1), HostEnd::BadRequest);
}

TEST(FrameReader, RoomGrowsWithTheBytesThatCameNotWithTheAnnouncedLength) {
    MemoryStream stream;
    stream.in = std::string("\x00\x00\x00\x20", 4) + std::string(100, 'x');  // 512 MiB announced
    FrameReader frames(stream);
    std::string message;
    EXPECT_EQ(frames.Next(kHostFrameLimit, message), FrameRead::Closed);
    EXPECT_LT(message.capacity(), std::size_t{1} << 20);
}

}  // namespace
}  // namespace dllscope
