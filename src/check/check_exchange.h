#pragma once
// The checker's side of a plugin's run: the input goes in, the answer is
// kept (with the warnings its text earns), and the exchange file is a file
// of its own in the temporary folder.
#include <string>
#include <vector>

#include "check/check_system.h"
#include "plugin/bridge_cycle.h"

namespace dllscope {

// The page the plugins get when no text or input file is given.
extern const wchar_t kDefaultCheckPage[];

class CheckExchange : public RunExchange {
  public:
    // `input` stays the caller's: it must outlive the exchange.
    CheckExchange(CheckFiles& files, const std::wstring& input) : files_(files), input_(input) {}
    CheckExchange(CheckFiles&, std::wstring&&) = delete;
    const std::wstring& Text() override { return input_; }
    void TextBack(std::wstring text) override;
    void ResultFileBack(const std::wstring& fileName) override;
    std::wstring ExchangeFile() override;
    const std::wstring& Input() const { return input_; }

    std::wstring output, exchangeFile;
    std::vector<std::wstring> warnings;

  private:
    CheckFiles& files_;
    const std::wstring& input_;
};

}  // namespace dllscope
