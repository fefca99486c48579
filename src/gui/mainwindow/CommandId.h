#pragma once

namespace tandrel::gui {

// Identifiers of the main window's command entries. A menu entry, its
// toolbar button, its key binding and its context-menu entry carry the same
// identifier, and Form1 dispatches on the identifier alone.
enum class CommandId : int {
    IDR_TOOLBAR = 1020,
    ID_FILE = 1021,
    ID_NEW = 1022,
    ID_EXIT = 1023,
    ID_TOOLS = 1024,
    ID_PROJECTS = 1025,
    ID_OPTIONS = 1027,
    ID_REPORT = 1028,
    ID_HELP = 1029,
    ID_CONTENTS = 1030,
    ID_ABOUT = 1031,
    ID_AUTO = 1033,
    IDR_POPMENU = 1035,
    ID_CHECKALL = 1036,
    ID_UNCHECKALL = 1037,
    ID_CHECKSELECTEDITEMS = 1038,
    ID_UNCHECKSELECTEDITEMS = 1039,
    ID_CHECKUNSELECTEDITEMS = 1040,
    ID_UNCHECKUNSELECTEDITEMS = 1041,
};

} // namespace tandrel::gui
