#pragma once

#include <QString>

namespace tandrel::gui {

// The program's two per-user values, "SourceDir" and "TargetDir", kept under
// the organisation "Orvessa Software", application "Tandrel" (the registry
// key Software\Orvessa Software\Tandrel on Windows, a small file in the
// user's configuration folder elsewhere).
inline constexpr const char* kRegistryOrganization = "Orvessa Software";
inline constexpr const char* kRegistryApplication = "Tandrel";

// The value's text, or empty text when the value is missing or unreadable.
// A number reads as its decimal text, any other kind of value as empty
// text. A text whose first character is a zero character reads as empty;
// one trailing zero character is dropped.
QString ReadRegistryValue(const QString& name);

// Stores the text, creating the place when needed; failures are ignored.
void WriteRegistryValue(const QString& name, const QString& text);

// The user's choice "Move deleted items to the trash", kept beside the two
// folders as the value "MoveToTrash". It is stored only while it is on, so
// that the place holds exactly what it held before for anyone who never
// turns it on.
inline constexpr const char* kTrashChoiceValue = "MoveToTrash";
bool ReadTrashChoice();
void WriteTrashChoice(bool on);

// The user's choice "Keep replaced files in the trash", kept the same way as
// the value "KeepReplaced".
inline constexpr const char* kKeepReplacedValue = "KeepReplaced";
bool ReadKeepReplacedChoice();
void WriteKeepReplacedChoice(bool on);

// A folder is worth storing at shutdown when it is at least as long as a
// bare root ("/" here, "C:\" on drive-letter systems): the root itself is
// kept, only an empty text (no comparison ran) is not.
bool WorthStoringFolder(const QString& folder);

} // namespace tandrel::gui
