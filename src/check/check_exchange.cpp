#include "check/check_exchange.h"

#include <utility>

#include "check/judge.h"

namespace dllscope {

const wchar_t kDefaultCheckPage[] =
    L"<!DOCTYPE html>\r\n<html>\r\n<head><title>Pr\u00fcfung</title></head>\r\n<body>\r\n"
    L"<h1>Gr\u00fc\u00dfe</h1>\r\n<p>Text &amp; <b>fett</b> "
    L"\u00e4\u00f6\u00fc</p>\r\n</body>\r\n</html>\r\n";

void CheckExchange::TextBack(std::wstring text) {
    output = std::move(text);
    if (LooksLikeUtf16(output)) warnings.push_back(Utf16Warning());
}

void CheckExchange::ResultFileBack(const std::wstring& fileName) {
    std::string bytes;
    if (!files_.ReadFile(fileName, bytes)) {
        warnings.push_back(L"Die Ergebnisdatei \u201E" + fileName +
                           L"\u201C, die das Plugin nennt, gibt es nicht oder sie kann "
                           L"nicht gelesen werden; Dllscope meldet sie ebenso.");
    }
    output = files_.DecodeFile(bytes);
}

std::wstring CheckExchange::ExchangeFile() {
    exchangeFile = files_.ExchangeFilePath();
    files_.WriteFile(exchangeFile, files_.ToAnsi(input_));
    return exchangeFile;
}

}  // namespace dllscope
