#include "platform/CaseFold.h"

#include "engine/Scanner.h"

#include <gtest/gtest.h>

namespace tandrel::platform {
namespace {

TEST(CaseFold, NamesMatchWithoutRegardToCaseInEveryScript)
{
    const struct {
        const char* a;
        const char* b;
        bool equal;
    } pairs[] = {
        {"Readme.TXT", "readme.txt", true},
        {"\xC3\x84rger", "\xC3\xA4RGER", true},                       // Ärger, äRGER
        {"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1", true}, // ΣΟΦΙΑ, σοφια
        {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xD0\xBF\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2", true}, // Привет
        {"\xC3\xBF", "\xC5\xB8", true},                               // ÿ, Ÿ
        {"stra\xC3\x9F" "e", "STRASSE", false},                       // one character is not two
        {"a", "\xC3\xA1", false},                                     // a, á
        {"\xC3\xA4", "\xC3\xA4x", false},
        {"", "", true},
        {"\xFF" "a", "\xFF" "A", true},                               // a lone byte matches itself
        {"\xFF", "\xFE", false},
        {"\xC3", "\xC3\x84", false},                                  // a cut character is a lone byte
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(EqualsNoCase(p.a, p.b), p.equal) << p.a << " / " << p.b;
        EXPECT_EQ(EqualsNoCase(p.b, p.a), p.equal) << p.b << " / " << p.a;
    }
}

TEST(CaseFold, IgnoredNamesAndSuffixesMatchNonAsciiLetters)
{
    const struct {
        const char* name;
        const char* pattern;
        bool ignored;
    } cases[] = {
        {"Foto.J\xC3\x89PG", "*.j\xC3\xA9pg", true},         // Foto.JÉPG, *.jépg
        {"\xC3\xA9t\xC3\xA9.TXT", "*.txt", true},             // été.TXT: the ASCII tail after other letters
        {"x.\xC3\x84" "BC", "*.\xC3\xA4" "bc", true},
        {"\xC3\xA4" "bc", "*.\xC3\xA4" "bc", false},           // shorter than the suffix in characters
        {"\xC3\x9C" "bersicht", "\xC3\xBC" "BERSICHT", true},  // Übersicht, üBERSICHT
        {"\xC3\x9C" "bersicht.bak", "\xC3\xBC" "bersicht", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::MatchesIgnoredType(c.name, {c.pattern}), c.ignored) << c.name << " / " << c.pattern;
}

} // namespace
} // namespace tandrel::platform
