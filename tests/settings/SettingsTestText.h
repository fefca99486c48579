#pragma once

// Texts and states shared by the settings tests.

#include "settings/SettingsFile.h"

#include <initializer_list>
#include <string>

namespace tandrel::settings::test_text {

// Joins lines with CR LF after each one, as the file is written.
inline std::string Lines(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

inline std::string OptionLines(const CompareOptions& o)
{
    const auto b = [](bool v) { return std::string(v ? "True" : "False"); };
    return Lines({"[Option]", "IgnoreTime=" + std::to_string(o.IgnoreTime),
                  "IgnoreType=" + std::to_string(o.IgnoreType), "IgnoreArchive=" + std::to_string(o.IgnoreArchive),
                  "IgnoreHidden=" + std::to_string(o.IgnoreHidden),
                  "IgnoreReadonly=" + std::to_string(o.IgnoreReadonly),
                  "IgnoreSystem=" + std::to_string(o.IgnoreSystem), "Overwriting=" + b(o.Overwriting),
                  "IgnoreError=" + b(o.IgnoreError), "PlaySound=" + b(o.PlaySound)});
}

inline SettingsState Read(const std::string& text)
{
    SettingsState state;
    ReadSettingsText(text, state);
    return state;
}

inline SettingsState SampleState()
{
    SettingsState s;
    s.options.IgnoreTime = 2;
    s.options.IgnoreType = 3;
    s.options.IgnoreArchive = 1;
    s.options.IgnoreHidden = -1;
    s.options.IgnoreReadonly = 2;
    s.options.IgnoreSystem = 0;
    s.options.Overwriting = false;
    s.options.IgnoreError = true;
    s.options.PlaySound = false;
    s.recentSources = {"/home/ann/Photos", "/srv/share/", "/media/usb stick"};
    s.recentDestinations = {"/backup/Photos"};
    s.projectList = {"Photos|/home/ann/Photos|/backup/Photos", "Docs|C:\\A", "My|Proj|C:\\A|C:\\B"};
    s.ignoredTypes = {"Thumbs.db", "*.tmp", ".git"};
    return s;
}

} // namespace tandrel::settings::test_text
