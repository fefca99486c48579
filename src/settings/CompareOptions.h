#pragma once

#include <cstdint>

namespace tandrel::settings {

// The option set of comparing and copying, named after the keys of the
// settings file and in the order the file writes them. The values here are
// the "no file" state; ReadSettings starts from Defaults().
struct CompareOptions {
    std::int32_t IgnoreTime = 0;
    std::int32_t IgnoreType = 0; // 0 s, 1 min, 2 h, 3 days, 4 months, 5 years
    std::int32_t IgnoreArchive = 0;
    std::int32_t IgnoreHidden = 0;
    std::int32_t IgnoreReadonly = 0;
    std::int32_t IgnoreSystem = 0;
    bool Overwriting = false;
    bool IgnoreError = false;
    bool PlaySound = false;

    static CompareOptions Defaults()
    {
        CompareOptions o;
        o.IgnoreHidden = 1;
        o.IgnoreSystem = 1;
        o.Overwriting = true;
        o.IgnoreError = true;
        o.PlaySound = true;
        return o;
    }

    bool operator==(const CompareOptions&) const = default;
};

// An attribute filter counts as on only when it holds exactly 1.
inline constexpr bool FilterOn(std::int32_t value) { return value == 1; }

} // namespace tandrel::settings
