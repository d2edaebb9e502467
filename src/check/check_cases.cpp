#include "check/check_cases.h"

#include <algorithm>
#include <cstdio>

#include "common/paths.h"
#include "common/utf8.h"

namespace dllscope {
namespace {

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<CaseFiles> FindCases(const std::wstring& folder, std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    std::vector<CaseFiles> cases;
    for (const std::wstring& name : names) {
        const std::wstring lower = LowerName(name);
        std::wstring extension;
        for (const wchar_t* e : {L".html", L".htm", L".txt"})
            if (EndsWith(lower, e)) extension = e;
        if (extension.empty()) continue;
        const std::wstring stem = name.substr(0, name.size() - extension.size());
        if (EndsWith(LowerName(stem), L".expected")) continue;
        const std::wstring expected = stem + L".expected" + name.substr(stem.size());
        const bool has = std::find_if(names.begin(), names.end(), [&](const std::wstring& n) {
                             return LowerName(n) == LowerName(expected);
                         }) != names.end();
        cases.push_back({name, InFolder(folder, name), has ? InFolder(folder, expected) : L""});
    }
    return cases;
}

namespace {
std::vector<StressInput> MakeStressInputs() {
    const std::wstring line =
        L"<p>Plugins f\u00fcr Tagsmith: <b>Gr\u00fc\u00dfe</b> &amp; Text.</p>";
    std::wstring big, longLine, nested, entities;
    const std::wstring row = line + L"\r\n";
    big.reserve(10 * 1000 * 1000 + row.size());
    while (big.size() < 10 * 1000 * 1000) big += row;
    while (longLine.size() < 1000 * 1000) longLine += line;
    for (int i = 0; i < 10000; ++i) nested += L"<div>";
    nested += L"tief";
    for (int i = 0; i < 10000; ++i) nested += L"</div>";
    while (entities.size() < 10000) entities += L"&amp;&lt;&gt;&quot;&nbsp;&#8364;&#x1F600;";
    return {
        {L"leer.html", L""},
        {L"ein-zeichen.html", L"<"},
        {L"10-mb.html", big},
        {L"nur-lf.html", L"<p>eins</p>\n<p>zwei</p>\n<p>drei</p>\n"},
        {L"nur-cr.html", L"<p>eins</p>\r<p>zwei</p>\r<p>drei</p>\r"},
        {L"gemischte-umbrueche.html", L"<p>eins</p>\r\n<p>zwei</p>\n<p>drei</p>\r<p>vier</p>"},
        {L"ausserhalb-ansi.html", L"<p>\u0141\u00f3d\u017a \u65e5\u672c \u20ac \U0001F600</p>"},
        {L"unausgeglichen.html", L"<html><body><p><b>offen<i>kreuz</b></i></div></span>"},
        {L"10000-ebenen.html", nested},
        {L"eine-zeile-1-mb.html", longLine},
        {L"nur-entities.html", entities},
    };
}
}  // namespace

const std::vector<StressInput>& StressInputs() {
    static const std::vector<StressInput> inputs = MakeStressInputs();
    return inputs;
}

}  // namespace dllscope
