#pragma once

#include <QString>

namespace tandrel::gui {

// Leading and trailing blanks removed, nothing else: tabs and line breaks
// belong to the text (a file or folder name may hold them).
inline QString TrimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace tandrel::gui
