#pragma once
// The changes of the fuzzing led by the lines a plugin's runs reach: small
// steps a plugin that reads a word a character at a time follows, and
// words taken from the cases and from the plugin.
#include <cstddef>
#include <string>
#include <vector>

#include "check/fuzz.h"

namespace dllscope {

// Guided fuzzing's own changes. A name (of a tag, a processing
// instruction, a declaration or an entity) lengthened by a character: half
// the time right after `focus` (where a character put in before reached
// lines no page had reached), else at a random place of a random name.
// The new character's position.
std::size_t LengthenName(std::wstring& page, FuzzRandom& random, std::size_t focus);
// One of `tokens` put in at a random spot.
void InsertToken(std::wstring& page, FuzzRandom& random, const std::vector<std::wstring>& tokens);
// The names pages hold: of tags, processing instructions, declarations,
// entities and attributes, each once.
std::vector<std::wstring> PageTokens(const std::vector<std::wstring>& pages);

}  // namespace dllscope
