#include "check/check_exchange.h"

#include "check/judge.h"

namespace dllscope {

void CheckExchange::TextBack(const std::wstring& text) {
    output = text;
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
