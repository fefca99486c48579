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
