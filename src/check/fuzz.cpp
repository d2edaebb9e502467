#include "check/fuzz.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace dllscope {
namespace {

// Where an element's tags lie in a page: start of "<x", end after its ">".
struct Tag {
    std::size_t from = 0, to = 0;
    std::wstring name;
    bool closing = false;
};

std::vector<Tag> TagsOf(const std::wstring& page) {
    std::vector<Tag> tags;
    // The first '>' after a '<' is the first after every '<' before it: a
    // run of thousands of '<' looks for it once, not once each.
    std::size_t end = 0;
    for (std::size_t at = page.find(L'<'); at != std::wstring::npos; at = page.find(L'<', at + 1)) {
        if (at >= end) end = page.find(L'>', at);
        if (end == std::wstring::npos) break;
        Tag tag{at, end + 1, L"", at + 1 < page.size() && page[at + 1] == L'/'};
        for (std::size_t i = at + (tag.closing ? 2 : 1); i < end && std::iswalnum(page[i]); ++i)
            tag.name.push_back(page[i]);
        if (!tag.name.empty()) tags.push_back(tag);
    }
    return tags;
}

// An element whole: an opening tag and its matching closing tag after it.
bool ElementAt(const std::wstring& page, const std::vector<Tag>& tags, std::size_t i,
               std::size_t& from, std::size_t& to) {
    if (tags[i].closing) return false;
    int depth = 0;
    for (std::size_t j = i + 1; j < tags.size(); ++j) {
        if (tags[j].name != tags[i].name) continue;
        if (!tags[j].closing) {
            ++depth;
        } else if (depth-- == 0) {
            from = tags[i].from;
            to = tags[j].to;
            return to <= page.size();
        }
    }
    return false;
}

const std::size_t kLengths[] = {64, 256, 4096, 65536};

const wchar_t* const kReferences[] = {
    L"&#0;",        L"&#x0;",      L"&#xD800;",          L"&#xDFFF;",  L"&#xFFFF;", L"&#xFFFE;",
    L"&#x10FFFF;",  L"&#x110000;", L"&#99999999999999;", L"&#x;",      L"&#;",      L"&amp",
    L"&unbekannt;", L"&#65",       L"&#xFFFFFFFFF;",     L"&lt;&gt;&", L"&#128;",   L"&#x1F600;",
    L"&",           L"&&&&"};

const wchar_t* const kConstructs[] = {L"<!-- Kommentar -->",
                                      L"<!-- offen",
                                      L"<![CDATA[ <b> ]]>",
                                      L"<![CDATA[ offen",
                                      L"<script>if (a < b && c > d) { x = \"</p>\"; }</script>",
                                      L"<style>p > b { content: \"<\"; }</style>",
                                      L"<!DOCTYPE html>",
                                      L"<?xml version=\"1.0\"?>",
                                      L"<?php echo 1; ?>",
                                      L"<",
                                      L"<p",
                                      L"<a href=\"offen",
                                      L"</",
                                      L"<script>",
                                      L"<!--",
                                      L"<b attr='x\" y'>"};

const wchar_t* const kBreaks[] = {L"\r\n",   L"\n",   L"\r",   L"\n\r",  L"\x85",
                                  L"\x2028", L"\x0B", L"\x0C", L"\r\r\n"};

const std::wstring kBeyondAnsi[] = {
    L"\x20AC", L"\x4E2D\x6587", L"\xD83D\xDE00", L"\xD800",
    L"\xFFFF", L"\x0627\x0644", L"\x03A9\x2248", std::wstring(1, L'\0')};

const wchar_t* const kNestable[] = {L"b", L"div", L"table", L"ul", L"p", L"span", L"td", L"li"};

std::size_t Spot(const std::wstring& page, FuzzRandom& random) {
    return random.Below(page.size() + 1);
}

void DuplicateElement(std::wstring& page, FuzzRandom& random) {
    const std::vector<Tag> tags = TagsOf(page);
    std::size_t from = 0, to = 0;
    if (tags.empty() || !ElementAt(page, tags, random.Below(tags.size()), from, to)) return;
    const std::wstring element = page.substr(from, to - from);
    page.insert(to, element);
}

void NestElement(std::wstring& page, FuzzRandom& random) {
    const std::vector<Tag> tags = TagsOf(page);
    std::size_t from = 0, to = 0;
    if (tags.empty() || !ElementAt(page, tags, random.Below(tags.size()), from, to)) return;
    const std::wstring element = page.substr(from, to - from);
    const std::size_t inner = page.find(L'>', from) + 1;
    page.insert(inner, element);
}

void CutAndSplice(std::wstring& page, FuzzRandom& random) {
    if (page.empty()) return;
    const std::size_t from = random.Below(page.size());
    const std::size_t n = 1 + random.Below(std::min<std::size_t>(64, page.size() - from));
    const std::wstring piece = page.substr(from, n);
    page.erase(from, n);
    page.insert(Spot(page, random), piece);
}

void UncloseOrMisnest(std::wstring& page, FuzzRandom& random) {
    const std::vector<Tag> tags = TagsOf(page);
    std::vector<Tag> closing;
    for (const Tag& t : tags)
        if (t.closing) closing.push_back(t);
    if (closing.empty()) return;
    const Tag t = closing[random.Below(closing.size())];
    const std::wstring tag = page.substr(t.from, t.to - t.from);
    page.erase(t.from, t.to - t.from);
    if (random.Below(2)) page.insert(std::min(page.size(), t.from + random.Below(40)), tag);
}

void Lengthen(std::wstring& page, FuzzRandom& random) {
    const std::size_t n = kLengths[random.Below(4)];
    const std::size_t quote = page.find_first_of(L"\"'", Spot(page, random));
    const wchar_t c = L"aX \x00E4<&"[random.Below(6)];
    if (quote != std::wstring::npos && random.Below(2)) {
        page.insert(quote + 1, std::wstring(n, c == L'<' ? L'x' : c));
    } else {
        page.insert(Spot(page, random), std::wstring(n, c));
    }
}

void InsertConstruct(std::wstring& page, FuzzRandom& random) {
    page.insert(Spot(page, random), kConstructs[random.Below(std::size(kConstructs))]);
}

void InsertReference(std::wstring& page, FuzzRandom& random) {
    page.insert(Spot(page, random), kReferences[random.Below(std::size(kReferences))]);
}

void ChangeLineBreaks(std::wstring& page, FuzzRandom& random) {
    const std::wstring to = kBreaks[random.Below(std::size(kBreaks))];
    std::wstring out;
    out.reserve(page.size());
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == L'\r' && i + 1 < page.size() && page[i + 1] == L'\n') ++i;
        if (page[i] == L'\n' || page[i] == L'\r') {
            out += to;
        } else {
            out += page[i];
        }
    }
    if (out == page) out.insert(Spot(out, random), to);
    page = out;
}

void InsertBeyondAnsi(std::wstring& page, FuzzRandom& random) {
    page.insert(Spot(page, random), kBeyondAnsi[random.Below(std::size(kBeyondAnsi))]);
}

void NestDeeply(std::wstring& page, FuzzRandom& random) {
    const std::wstring name = kNestable[random.Below(std::size(kNestable))];
    const std::size_t depth = std::size_t{16} << random.Below(8);  // 16 .. 2048
    const std::wstring openTag = L"<" + name + L">", closeTag = L"</" + name + L">";
    std::wstring open, close;
    open.reserve(depth * openTag.size());
    close.reserve(depth * closeTag.size());
    for (std::size_t i = 0; i < depth; ++i) {
        open += openTag;
        close += closeTag;
    }
    page.insert(Spot(page, random), open + L"x" + (random.Below(3) ? close : std::wstring()));
}

// Each kind's identity is its id: a page's choices hang on the ids, not on
// the kinds' order or number.
const std::vector<MutationKind> kMutations = {
    {"element-duplicated", L"Element verdoppelt", DuplicateElement},
    {"element-nested", L"Element verschachtelt", NestElement},
    {"piece-moved", L"Stück versetzt", CutAndSplice},
    {"tag-unclosed", L"Tag ungeschlossen oder verschränkt", UncloseOrMisnest},
    {"lengthened", L"Wert oder Text verlängert", Lengthen},
    {"construct", L"Kommentar, Skript oder Unvollständiges eingefügt", InsertConstruct},
    {"reference", L"Zeichenreferenz an der Grenze", InsertReference},
    {"line-breaks", L"Zeilenumbrüche geändert", ChangeLineBreaks},
    {"beyond-ansi", L"Zeichen außerhalb von ANSI", InsertBeyondAnsi},
    {"deep-nesting", L"tief verschachtelt", NestDeeply},
};

std::uint64_t Mixed(std::uint64_t a, std::uint64_t b) {
    FuzzRandom mix(a ^ (b * 0x9E3779B97F4A7C15ull));
    return mix.Next();
}

std::uint64_t IdHash(const char* id) { return Fnv1a(id); }

}  // namespace

std::uint64_t Fnv1a(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

std::uint64_t FuzzRandom::Next() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<std::wstring> BuiltInSeeds() {
    return {
        L"<!DOCTYPE html>\r\n<html>\r\n<head><title>Seite</title></head>\r\n<body>\r\n"
        L"<h1>Überschrift</h1>\r\n<p>Text mit <b>fett</b> und <i>kursiv</i>.</p>\r\n"
        L"</body>\r\n</html>\r\n",
        L"<table "
        L"border=\"1\">\r\n<tr><th>A</th><th>B</th></tr>\r\n<tr><td>1</td><td>2</td></tr>\r\n"
        L"</table>\r\n",
        L"<ul>\r\n<li>eins</li>\r\n<li>zwei <a href='x.html'>Link</a></li>\r\n</ul>\r\n"
        L"<ol><li>drei</li></ol>\r\n",
        L"<form action=\"/senden\" method=\"post\">\r\n<input type=\"text\" name='name' "
        L"value=\"Grüße\">\r\n<select><option selected>a</option></select>\r\n</form>\r\n",
        L"<!-- Kopf -->\r\n<p>Vorher</p>\r\n<script type=\"text/javascript\">\r\nvar a = 1 < 2;\r\n"
        L"</script>\r\n<style>p { color: red; }</style>\r\n",
        L"<p>&lt;b&gt; &amp; &quot; &auml;&ouml;&uuml; &#8364; &#x20AC; &nbsp;</p>\r\n",
        L"<div class=\"a\" id='b' data-x=\"1\" title='\"zitiert\"'><span>innen</span></div>\r\n",
        L"<p>Zeile eins<br>\r\nZeile zwei<br/>\r\n<img src=\"bild.png\" alt=\"\"></p>\r\n",
    };
}

const std::vector<MutationKind>& MutationKinds() { return kMutations; }

std::wstring MutatedPage(const std::vector<std::wstring>& seeds, FuzzRandom& random,
                         std::wstring& kind) {
    return MutatedPage(seeds, random, kind, kMutations);
}

// The page's own number from the run's sequence; from it, the seed and the
// count of mutations, and for each mutation the kind whose id scores
// highest with it (so that a kind added wins some choices and changes no
// other) and that kind's own sequence.
std::wstring MutatedPage(const std::vector<std::wstring>& seeds, FuzzRandom& random,
                         std::wstring& kind, const std::vector<MutationKind>& kinds) {
    const std::uint64_t number = random.Next();
    FuzzRandom own(number);
    std::wstring page = seeds.empty() ? std::wstring() : seeds[own.Below(seeds.size())];
    const std::size_t count = 1 + own.Below(3);
    kind.clear();
    for (std::size_t i = 0; i < count && !kinds.empty(); ++i) {
        const MutationKind* best = nullptr;
        std::uint64_t bestScore = 0;
        for (const MutationKind& k : kinds) {
            const std::uint64_t score = Mixed(Mixed(number, i), IdHash(k.id));
            if (!best || score > bestScore) best = &k, bestScore = score;
        }
        FuzzRandom mutation(Mixed(bestScore, IdHash(best->id)));
        best->mutate(page, mutation);
        kind = i == 0 ? std::wstring(best->name) : kind + L", " + best->name;
        if (page.size() > (std::size_t{1} << 22)) break;  // 4 Mi characters are enough
    }
    return page;
}

}  // namespace dllscope
