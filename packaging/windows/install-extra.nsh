  ; /PATH=user or /PATH=all on the installer's command line puts bin\ on the
  ; PATH, for this user or for everyone, as the options page does.
  !include "FileFunc.nsh"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH=" $R1
  IfErrors tandrel_path_done
  StrCmp $R1 "user" tandrel_path_user
  StrCmp $R1 "all" tandrel_path_all
  Goto tandrel_path_done
  tandrel_path_user:
    StrCpy $ADD_TO_PATH_CURRENT_USER "1"
    StrCpy $ADD_TO_PATH_ALL_USERS "0"
    Goto tandrel_path_chosen
  tandrel_path_all:
    StrCpy $ADD_TO_PATH_CURRENT_USER "0"
    StrCpy $ADD_TO_PATH_ALL_USERS "1"
  tandrel_path_chosen:
    StrCpy $DO_NOT_ADD_TO_PATH "0"
    WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@" "DoNotAddToPath" "0"
    WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@" "AddToPathAllUsers" $ADD_TO_PATH_ALL_USERS
    WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@" "AddToPathCurrentUser" $ADD_TO_PATH_CURRENT_USER
  tandrel_path_done:

  ; /DESKTOP on the command line makes the desktop shortcut, as the box on
  ; the options page does; the uninstaller takes it away again.
  ClearErrors
  ${GetOptions} $R0 "/DESKTOP" $R1
  IfErrors tandrel_desktop_done
    StrCpy $INSTALL_DESKTOP "1"
    CreateShortCut "$DESKTOP\Tandrel.lnk" "$INSTDIR\bin\tandrel.exe"
    WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@" "InstallToDesktop" "1"
  tandrel_desktop_done:

  ; Whether the user's own PATH value is there before bin\ is added to it:
  ; if not, the uninstaller removes the value again once it holds only bin\.
  ClearErrors
  ReadRegStr $R2 HKCU "Environment" "PATH"
  IfErrors 0 tandrel_user_path_known
    WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@" "UserPathMadeBySetup" "1"
  tandrel_user_path_known:

  ; Explorer's "Compare with Tandrel" on folders: one selected folder
  ; becomes the source, two the source and the destination. The drop target
  ; hands the whole selection to one tandrel.exe, as dropping the folders on
  ; it would; the command serves a single folder.
  WriteRegStr SHCTX "Software\Classes\Directory\shell\Tandrel" "" "Compare with Tandrel"
  WriteRegStr SHCTX "Software\Classes\Directory\shell\Tandrel" "Icon" "$INSTDIR\bin\tandrel.exe"
  WriteRegStr SHCTX "Software\Classes\Directory\shell\Tandrel" "MultiSelectModel" "Player"
  WriteRegStr SHCTX "Software\Classes\Directory\shell\Tandrel\command" "" '"$INSTDIR\bin\tandrel.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\Directory\shell\Tandrel\DropTarget" "Clsid" "{86C86720-42A0-1069-A2E8-08002B30309D}"
