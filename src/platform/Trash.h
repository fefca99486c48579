#pragma once

#include "platform/FileResult.h"

#include <ctime>
#include <string>

namespace tandrel::platform {

// What happens to a folder that still holds entries.
enum class TrashFolders {
    WholeTree,     // it goes to the trash with everything in it
    OnlyWhenEmpty, // it is refused ("Directory not empty"), as removing it would be
};

// Where an item went: the trash folder (the one holding files/ and info/),
// the name it got in files/, and the Path line written for it.
struct TrashPlace {
    std::string trashFolder;
    std::string name;
    std::string recordedPath;
};

// Moves one item (a file, a folder with everything in it, or a symbolic link
// as the link itself) into the user's trash in the XDG trash layout:
//
// - an item on the file system of the home trash goes to the home trash,
//   $XDG_DATA_HOME/Trash (~/.local/share/Trash when XDG_DATA_HOME is unset
//   or not absolute), created when missing;
// - an item on another file system goes to the trash at the top of its own
//   file system (the highest folder above it with the same device):
//   $topdir/.Trash/$uid when $topdir/.Trash is a real folder (not a link)
//   with the sticky bit, else $topdir/.Trash-$uid, created with mode 0700.
//   Its Path line there is relative to $topdir, so that the items can still
//   be restored when the file system is mounted elsewhere.
//
// The information file is created first with O_EXCL, which reserves the
// name; a clashing name becomes name.2, name.3, ... Then the item is renamed
// into files/ without replacing anything there. Nothing is ever copied: when
// the rename fails (for instance across file systems) the information file
// is removed again and the system's reason is returned. The item itself is
// never followed when it is a link; every trash folder used must be a real
// folder owned by the user.
FileResult MoveToTrash(const std::string& path, TrashFolders folders = TrashFolders::WholeTree,
                       TrashPlace* place = nullptr);

// The same for the entry `name` of the open folder `parentFd`, for callers
// that reach the item through descriptors of its parent folders; `shownPath`
// is the path used in error texts.
FileResult MoveToTrashAt(int parentFd, const std::string& name, const std::string& shownPath,
                         TrashFolders folders = TrashFolders::WholeTree, TrashPlace* place = nullptr);

// Puts the file `name` of the open folder `parentFd` into the trash while it
// also stays where it is, so that a new version can then be renamed over it
// with no moment in which the name holds neither: on Linux the trash gets a
// second name of the same file (a hard link, which needs no copying, in the
// trash the file would go to) with its information file. Where the system's
// trash cannot hold a file that is still in place (the Recycle Bin), the file
// is moved there instead and `stayed` is false. `place` says where it went,
// for TakeBackFromTrash.
FileResult KeepInTrashAt(int parentFd, const std::string& name, const std::string& shownPath, TrashPlace& place,
                         bool& stayed);

// Undoes KeepInTrashAt for a file that stayed in place and was not replaced
// after all: the trash's name and information file go again.
void TakeBackFromTrash(const TrashPlace& place);

// The home trash folder as the environment names it now (it may not exist).
std::string HomeTrashFolder();

// "%"-escapes every byte outside the unreserved URI characters and "/".
std::string PercentEncodedPath(const std::string& path);

// The content of an information file.
std::string TrashInfoText(const std::string& recordedPath, std::time_t deletedAt);

} // namespace tandrel::platform
