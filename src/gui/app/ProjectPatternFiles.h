#pragma once

#include <map>
#include <string>

namespace tandrel::gui {

// The pattern file a project names, by the project's name (bytes, as in the
// project list). Projects of the same name share one entry.
using ProjectPatternFiles = std::map<std::string, std::string>;

// Kept per user beside "SourceDir" and "TargetDir" as the list
// "ProjectPatternFiles" (entries "Project" and "File"), never in the settings
// file, whose layout stays as it is. A name or path that is not valid UTF-8
// is stored as its bytes, so nothing is lost. Writing an empty set removes
// the list, so that the store holds exactly what it held for anyone who never
// names a file.
inline constexpr const char* kProjectPatternFilesValue = "ProjectPatternFiles";
ProjectPatternFiles ReadProjectPatternFiles();
void WriteProjectPatternFiles(const ProjectPatternFiles& files);

} // namespace tandrel::gui
