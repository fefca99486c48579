// Ignored names: the scanner's matcher agrees with a plain reading of the
// rules on any name and any list of entries.
//
// The rules: entries are tried in list order and the first match decides;
// an empty entry has no effect; an entry whose first two characters are
// "*." matches a name whose last characters are the entry without its '*';
// any other entry matches only the whole name. Both comparisons take each
// character to its upper case (the system's mapping); a byte that begins no
// well-formed UTF-8 character stands for itself. No character other than a
// leading "*." is special.

#include "FoldedCharacters.h"
#include "FuzzCheck.h"

#include "engine/Scanner.h"
#include "platform/CaseFold.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace tandrel;
using fuzz::Fail;
using fuzz::Require;

namespace {

// Which entry decides for `name`, or -1 when none matches.
long ReferenceMatch(const std::string& name, const std::vector<std::string>& entries)
{
    const std::vector<std::uint32_t> foldedName = fuzz::FoldedCharacters(name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].empty())
            continue;
        const bool suffixPattern = entries[i].rfind("*.", 0) == 0;
        const std::vector<std::uint32_t> entry = fuzz::FoldedCharacters(suffixPattern ? entries[i].substr(1) : entries[i]);
        if (suffixPattern) {
            if (foldedName.size() >= entry.size() &&
                std::equal(entry.begin(), entry.end(), foldedName.end() - static_cast<long>(entry.size())))
                return static_cast<long>(i);
        } else if (foldedName == entry) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

std::string CaseFlipped(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    }
    return text;
}

void Check(const std::string& name, const std::vector<std::string>& entries)
{
    const bool actual = engine::MatchesIgnoredType(name, entries);
    const bool expected = ReferenceMatch(name, entries) >= 0;
    if (actual != expected) {
        std::string message = "name \"" + fuzz::Escaped(name) + "\" " + (actual ? "matched" : "did not match") +
                              " the entries";
        for (const auto& entry : entries)
            message += " \"" + fuzz::Escaped(entry) + "\"";
        Fail(message);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string name = input.ConsumeRandomLengthString(256);
    std::vector<std::string> entries;
    while (input.remaining_bytes() > 0 && entries.size() < 64)
        entries.push_back(input.ConsumeRandomLengthString(64));

    Check(name, entries);
    // Letter case never matters, on either side.
    Check(CaseFlipped(name), entries);
    Require(engine::MatchesIgnoredType(CaseFlipped(name), entries) == engine::MatchesIgnoredType(name, entries),
            "the letter case of the name changed the outcome");

    // Each entry on its own, and the list in reverse order: the outcome is
    // whether any entry matches, so order and company do not change it.
    bool any = false;
    for (const auto& entry : entries) {
        const std::vector<std::string> one{entry};
        Check(name, one);
        any = any || engine::MatchesIgnoredType(name, one);
    }
    Require(any == engine::MatchesIgnoredType(name, entries), "the list is not the union of its entries");
    const std::vector<std::string> reversed(entries.rbegin(), entries.rend());
    Check(name, reversed);

    // A name always matches itself, and "*" followed by any of its endings
    // that begins with '.'.
    if (!name.empty()) {
        Require(engine::MatchesIgnoredType(name, {name}), "a name does not match itself");
        Require(engine::MatchesIgnoredType(name, {CaseFlipped(name)}), "a name does not match itself in other case");
        const auto dot = name.rfind('.');
        if (dot != std::string::npos)
            Require(engine::MatchesIgnoredType(name, {"*" + name.substr(dot)}), "a name does not match *.its-ending");
    }
    return 0;
}
