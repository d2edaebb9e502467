#include "host/host_words.h"

#include "common/german_number.h"

namespace dllscope {
namespace {

// "12.345.678 Bytes"
std::wstring Bytes(std::uint64_t n) { return GermanNumber(static_cast<double>(n), 0) + L" Bytes"; }

}  // namespace

std::wstring HostOf(const ForeignCall& call) {
    return L"Der Plugin-Prozess von \u201E" + call.name + L"\u201C";
}

std::wstring LostConnectionReport(const ForeignCall& call) {
    return HostOf(call) + L" hat " + Action(call) +
           L" die Verbindung verloren und wurde beendet. Das Plugin hat womöglich einen Handle "
           L"geschlossen oder beschrieben, der nicht seiner war.";
}

std::wstring MalformedAnswerReport(const ForeignCall& call, const std::wstring& why) {
    return HostOf(call) + L" hat " + Action(call) + L" eine ungültige Antwort geschickt (" + why +
           L") und wurde beendet. Das Plugin hat womöglich in einen Handle geschrieben, der nicht "
           L"seiner war.";
}

std::wstring DamagedMessageReport(const ForeignCall& call) {
    return L"Die Antwort des Plugin-Prozesses von \u201E" + call.name + L"\u201C kam " +
           Action(call) +
           L" beschädigt an, und er wurde beendet. Das Plugin hat womöglich in Speicher "
           L"geschrieben, der nicht seiner war.";
}

std::wstring AnswerTooLargeReport(std::uint64_t size, std::uint64_t limit) {
    return L"Die Antwort wäre mit " + Bytes(size) + L" größer als erlaubt (höchstens " +
           Bytes(limit) + L"); der Plugin-Prozess hat sie nicht geschickt.";
}

std::wstring HostReport(const ForeignCall& call, const std::wstring& report) {
    constexpr std::size_t kMost = 4000;
    std::wstring text = report.size() > kMost ? report.substr(0, kMost) + L" …" : report;
    if (text.empty()) text = L"(ein Bericht ohne Text)";
    if (text.find(L"\u201E" + call.name + L"\u201C") != std::wstring::npos) return text;
    return HostOf(call) + L" meldet " + Action(call) + L": " + text;
}

std::wstring TooLargeReport(const ForeignCall& call, std::uint64_t size, std::uint64_t limit) {
    return L"Die Anfrage " + Action(call) + L" ist mit " + Bytes(size) +
           L" zu groß für den Plugin-Prozess (höchstens " + Bytes(limit) +
           L"); sie wurde nicht geschickt.";
}

std::wstring OtherVersionReport(const std::wstring& program, std::uint32_t version,
                                std::uint32_t expected) {
    return L"Der Plugin-Prozess \u201E" + program +
           L"\u201C gehört zu einer anderen Version von Dllscope (Protokoll " +
           std::to_wstring(version) + L" statt " + std::to_wstring(expected) + L").";
}

std::wstring OtherProcessReport(const std::wstring& program, unsigned long started,
                                unsigned long greeted) {
    return L"Mit der Pipe des Plugin-Prozesses \u201E" + program +
           L"\u201C hat sich ein anderer Prozess verbunden (Prozess " + std::to_wstring(greeted) +
           L" statt " + std::to_wstring(started) + L"); die Verbindung wurde getrennt.";
}

}  // namespace dllscope
