#pragma once
// Pages made to break a plugin: seeds of typical HTML, changed by mutations
// that know HTML (elements duplicated, nested, cut and unclosed; long
// values; comments, scripts and unterminated constructs; character
// references at and beyond their bounds; line breaks of every kind;
// characters beyond ANSI; deep nesting), all from one seed so that a run
// repeats exactly; and the shrinking of a failing page to a small one that
// still fails the same way.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dllscope {

// A small, fast generator whose sequence depends on its seed alone.
class FuzzRandom {
  public:
    explicit FuzzRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // 0 .. n-1; 0 for n == 0.
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }

  private:
    std::uint64_t state_;
};

// FNV-1a of bytes: a mutation kind's identity, a corpus page's name.
std::uint64_t Fnv1a(std::string_view bytes);

// The small pages the fuzzing starts from when the author gives none.
std::vector<std::wstring> BuiltInSeeds();

// A kind of mutation: its identity (never changed once a seed's pages
// depend on it), its name in the report and what it does to a page.
struct MutationKind {
    const char* id;
    const wchar_t* name;
    void (*mutate)(std::wstring& page, FuzzRandom& random);
};
const std::vector<MutationKind>& MutationKinds();

// One page: a seed picked and changed by one to three mutations. `kind`
// gets their names, in order. Each page takes one number of `random`; a
// kind added to the list changes only the pages it is chosen for.
std::wstring MutatedPage(const std::vector<std::wstring>& seeds, FuzzRandom& random,
                         std::wstring& kind);
// The same from a list of kinds of one's own.
std::wstring MutatedPage(const std::vector<std::wstring>& seeds, FuzzRandom& random,
                         std::wstring& kind, const std::vector<MutationKind>& kinds);

// A smaller page for which `fails` still holds: lines, then characters are
// left out (delta debugging), then runs of one character shortened, as long
// as `withinTime` allows. The page itself when nothing smaller fails.
std::wstring ShrunkPage(const std::wstring& page,
                        const std::function<bool(const std::wstring&)>& fails,
                        const std::function<bool()>& withinTime);

}  // namespace dllscope
