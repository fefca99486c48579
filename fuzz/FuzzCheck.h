#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tandrel::fuzz {

// Bytes as C-style escaped text, so that a failure message shows exactly
// what was compared.
inline std::string Escaped(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xf];
        }
    }
    return out;
}

// Stops the run when a property does not hold; libFuzzer keeps the input.
[[noreturn]] inline void Fail(const std::string& what)
{
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void Require(bool holds, const char* what)
{
    if (!holds)
        Fail(what);
}

// `index`, when given, names the element of a list that differs.
inline void RequireEqual(std::string_view actual, std::string_view expected, const char* what,
                         std::size_t index = std::string_view::npos)
{
    if (actual == expected)
        return;
    std::string message = what;
    if (index != std::string_view::npos)
        message += " [" + std::to_string(index) + "]";
    Fail(message + ": got \"" + Escaped(actual) + "\", expected \"" + Escaped(expected) + "\"");
}

} // namespace tandrel::fuzz
