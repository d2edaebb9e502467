#pragma once
// The log of the calls into plugins this session: every load, bridge export
// and free that Form1's commands make, with what went in, what came back,
// how long it took and what failed. Kept in memory only, the newest last, at
// most the last 10,000 calls. Libraries and a bridge that log sit in front
// of the ones the commands would use otherwise.
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "plugin/bridge.h"

namespace dllscope {

struct CallRow {
    std::wstring time;          // "14:03:27.412"
    std::wstring command;       // the button or list that made it: "PluginRun"
    std::wstring library;       // "code1.dll"
    std::wstring call;          // "LoadLibrary", "PluginRun", "FreeLibrary", ...
    std::wstring arguments;     // in short: a path; a text's length and beginning
    std::wstring result;        // in short: a code, a text's length, a handle
    double milliseconds = 0;    // its duration
    std::wstring fault;         // why it failed, when it did
    unsigned long process = 0;  // the plugin's own process; 0: Dllscope's
};

class CallLog {
  public:
    static constexpr std::size_t kMaxRows = 10000;
    void Add(CallRow row);
    const std::deque<CallRow>& Rows() const { return rows_; }
    // Told after each row that comes (the open window follows).
    void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }

  private:
    std::deque<CallRow> rows_;
    std::function<void()> listener_;
};

// The log's column heads, and rows as tab-separated lines (tabs and line
// breaks inside a field become spaces).
extern const wchar_t* const kCallColumns[9];
std::wstring RowsAsText(const std::deque<CallRow>& rows, const std::vector<std::size_t>& which);

// A text in short: "12 Zeichen: „<b>Grüße</b>“", cut after 40 characters.
std::wstring ShortText(const std::wstring& text);

// What a logged call needs of the machine.
class CallClock {
  public:
    virtual ~CallClock() = default;
    virtual std::wstring Now() = 0;       // the time of day
    virtual double Milliseconds() = 0;    // a steady clock
    virtual std::wstring Command() = 0;   // the command under way
    virtual unsigned long Process() = 0;  // where the plugin runs; 0 in this process
};

class LoggingLibraries : public Libraries {
  public:
    LoggingLibraries(Libraries& inner, CallLog& log, CallClock& clock)
        : inner_(inner), log_(log), clock_(clock) {}
    LibraryHandle Load(const std::wstring& path) override;
    void Free(LibraryHandle handle) override;

  private:
    Libraries& inner_;
    CallLog& log_;
    CallClock& clock_;
    std::map<LibraryHandle, std::wstring> names_;
};

class LoggingBridge : public Bridge {
  public:
    LoggingBridge(Bridge& inner, CallLog& log, CallClock& clock)
        : inner_(inner), log_(log), clock_(clock) {}
    std::int16_t PluginBackvalue(std::wstring& pluginPath) override;
    std::wstring PluginName(std::wstring& pluginPath) override;
    std::wstring PluginDescription(std::wstring& pluginPath) override;
    std::wstring PluginRun(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring WrapperName() override;
    std::wstring PluginWrappText(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) override;
    std::vector<std::wstring> TakeStackWarnings() override { return inner_.TakeStackWarnings(); }

  private:
    Bridge& inner_;
    CallLog& log_;
    CallClock& clock_;
};

}  // namespace dllscope
