#include "check/guided_mutations.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace dllscope {
namespace {

bool NameCharacter(wchar_t c) {
    return std::iswalnum(c) || c == L'-' || c == L'_' || c == L':' || c == L'.';
}

// Where names start: after '<' (and '?', '!', '/') and after '&' (and '#').
std::vector<std::size_t> NameStarts(const std::wstring& page) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] != L'<' && page[i] != L'&') continue;
        std::size_t at = i + 1;
        while (at < page.size() &&
               (page[at] == L'?' || page[at] == L'!' || page[at] == L'/' || page[at] == L'#'))
            ++at;
        starts.push_back(at);
    }
    return starts;
}

// Lower-case letters half the time: names are mostly made of them.
wchar_t NameLetter(FuzzRandom& random) {
    static const wchar_t kOthers[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!?-_:;.#=/\"' ";
    return random.Below(2) ? static_cast<wchar_t>(L'a' + random.Below(26))
                           : kOthers[random.Below(std::size(kOthers) - 1)];
}

}  // namespace

std::size_t LengthenName(std::wstring& page, FuzzRandom& random, std::size_t focus) {
    std::size_t at = focus + 1;
    if (focus >= page.size() || random.Below(2)) {
        const std::vector<std::size_t> starts = NameStarts(page);
        if (starts.empty()) {
            at = random.Below(page.size() + 1);
        } else {
            const std::size_t start = starts[random.Below(starts.size())];
            std::size_t end = start;
            while (end < page.size() && NameCharacter(page[end])) ++end;
            at = start + random.Below(end - start + 1);
        }
    }
    page.insert(page.begin() + static_cast<std::ptrdiff_t>(at), NameLetter(random));
    return at;
}

void InsertToken(std::wstring& page, FuzzRandom& random, const std::vector<std::wstring>& tokens) {
    if (!tokens.empty())
        page.insert(random.Below(page.size() + 1), tokens[random.Below(tokens.size())]);
}

std::vector<std::wstring> PageTokens(const std::vector<std::wstring>& pages) {
    std::vector<std::wstring> tokens;
    for (const std::wstring& page : pages) {
        for (std::size_t i = 0; i < page.size(); ++i) {
            const bool opens = page[i] == L'<' || page[i] == L'&' || page[i] == L' ';
            if (!opens) continue;
            std::size_t end = i + 1;
            const auto opening = [&](wchar_t c) {  // "<?", "<!", "</", "&#"
                return end == i + 1 && page[i] != L' ' &&
                       (c == L'?' || c == L'!' || c == L'/' || c == L'#');
            };
            while (end < page.size() && (NameCharacter(page[end]) || opening(page[end]))) ++end;
            if (end - i < 3 || end - i > 40) continue;
            const std::wstring token = page.substr(i, end - i);
            if (std::find(tokens.begin(), tokens.end(), token) == tokens.end() &&
                tokens.size() < 1000)
                tokens.push_back(token);
        }
    }
    return tokens;
}

}  // namespace dllscope
