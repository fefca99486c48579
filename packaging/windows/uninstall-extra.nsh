  ; The user's PATH value goes when the installer made it and it holds
  ; nothing but bin\ now; un.RemoveFromPath, which runs later, would leave it
  ; there empty.
  ReadRegStr $R0 SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@" "UserPathMadeBySetup"
  StrCmp $R0 "1" 0 tandrel_user_path_done
  StrCmp $ADD_TO_PATH_CURRENT_USER "1" 0 tandrel_user_path_done
  ReadRegStr $R1 HKCU "Environment" "PATH"
  StrCmp $R1 "$INSTDIR\bin" tandrel_user_path_ours
  StrCmp $R1 "$INSTDIR\bin;" tandrel_user_path_ours tandrel_user_path_done
  tandrel_user_path_ours:
    DeleteRegValue HKCU "Environment" "PATH"
    SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
  tandrel_user_path_done:

  DeleteRegKey SHCTX "Software\Classes\Directory\shell\Tandrel"
  DeleteRegKey SHCTX "Software\Orvessa Software\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@"
  DeleteRegKey /ifempty SHCTX "Software\Orvessa Software"
