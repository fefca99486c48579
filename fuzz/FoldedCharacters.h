#pragma once

#include "platform/CaseFold.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::fuzz {

// The characters of `text`, each in upper case, by the table of well-formed
// UTF-8 sequences; a byte that begins none stands alone, marked as such.
inline std::vector<std::uint32_t> FoldedCharacters(const std::string& text)
{
    struct Form {
        unsigned char leadFrom, leadTo, secondFrom, secondTo;
        std::size_t length;
    };
    static const Form kForms[] = {
        {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
        {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
        {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    std::vector<std::uint32_t> folded;
    for (std::size_t i = 0; i < text.size();) {
        const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if (at(0) < 0x80) {
            const unsigned char c = at(0);
            folded.push_back(c >= 'a' && c <= 'z' ? c - 32 : c);
            ++i;
            continue;
        }
        std::size_t length = 0;
        for (const Form& form : kForms) {
            if (at(0) < form.leadFrom || at(0) > form.leadTo || i + form.length > text.size())
                continue;
            bool wellFormed = at(1) >= form.secondFrom && at(1) <= form.secondTo;
            for (std::size_t k = 2; k < form.length; ++k)
                wellFormed = wellFormed && at(k) >= 0x80 && at(k) <= 0xBF;
            if (wellFormed)
                length = form.length;
        }
        if (length == 0) {
            folded.push_back(0xFFFFFF00u | at(0)); // never a character
            ++i;
            continue;
        }
        std::uint32_t c = at(0) & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (at(k) & 0x3F);
        folded.push_back(platform::UpperCase(c));
        i += length;
    }
    return folded;
}

} // namespace tandrel::fuzz
