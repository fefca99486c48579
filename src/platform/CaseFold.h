#pragma once

#include <string>
#include <string_view>

namespace tandrel::platform {

// Names compared without regard to case, as Windows file systems compare
// them: character by character, each taken to its upper case by the system's
// simple one-to-one mapping, so that "Ärger" matches "ärger" and "ΣΟΦΙΑ"
// matches "σοφια", while "straße" does not match "STRASSE". The texts are
// UTF-8; a byte that is not part of a valid character matches only itself.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The characters of a name taken to their upper case as above: two names are
// equal without regard to case when their keys are equal.
std::u32string FoldedKey(std::string_view text);

// True when the last characters of `text` equal `suffix` without regard to case.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// One character's upper case by the system's mapping; the character itself
// when it has none. (Each system has its own.)
char32_t UpperCase(char32_t c);

} // namespace tandrel::platform
