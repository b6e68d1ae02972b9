; The setup program of Kestrel for Windows, made by scripts/package-windows with makensis from the
; files staged for the zip. It installs for all users (Program Files\Kestrel, with administrator
; rights, and the firewall rules the bus and active-mode FTP need) or for the user running it
; (the user's own programs folder, no administrator rights), adds the Start menu entry and the
; entry in "Apps", and installs over an earlier copy in place. The settings are not among the
; installed files: an installed copy keeps them in %APPDATA%\Kestrel\Settings.
;
; Command line: /S silent; /ALLUSERS or /CURRENTUSER (without either: the mode of an earlier
; install, else all users when started with administrator rights, else the current user; the
; wizard asks); /D=FOLDER the folder (last, without quotes). The uninstaller takes /S and leaves
; the settings unless "Your settings" is ticked.
;
; Defines given by scripts/package-windows:
;   VERSION (V1.10), VERSION_NUMBER (1.10), OUTFILE, ICON, README (the staged README.txt),
;   FILES_INSTALL and FILES_UNINSTALL (the lists of the staged files: File and Delete lines)

Unicode true
Target amd64-unicode
ManifestDPIAware true
ManifestSupportedOS all
; Elevation is asked for only when the user chooses to install for all users: the setup program
; then starts itself again with administrator rights.
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define PRODUCT "Kestrel"
!define PUBLISHER "The Kestrel developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel"
; What the firewall commands printed, in the install folder (the uninstaller's in %TEMP%).
!define FIREWALL_LOG "firewall-rules.log"
!define UNINSTALL_LOG "Kestrel-uninstall.log"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Empty, so that .onInit can tell a folder given with /D= from none.
InstallDir ""
BrandingText "${PRODUCT} ${VERSION}"
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_NUMBER}.0.0"
VIFileVersion "${VERSION_NUMBER}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "2026 ${PUBLISHER}"

Var Mode          ; "all" or "user"
Var ModeGiven     ; 1: /ALLUSERS or /CURRENTUSER given, the wizard does not ask
Var DirGiven      ; 1: /D= given
Var Elevated      ; 1: this process has administrator rights
Var Silent        ; 1: a silent run (/S)
Var EarlierDir    ; the folder of an earlier install in the chosen mode
Var Log           ; the open firewall log
Var RadioAll
Var RadioUser

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show README.txt (first steps, where the settings are kept)"
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Kestrel is removed. Your settings (the FTP server and the zones) stay for a later install unless you tick them."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------- shared by both programs

; Whether this process has administrator rights (an elevated token).
!macro DEFINE_CHECK_ELEVATED PREFIX
Function ${PREFIX}CheckElevated
  StrCpy $Elevated 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $Elevated 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_CHECK_ELEVATED ""
!insertmacro DEFINE_CHECK_ELEVATED "un."

; Runs "netsh ARGS" (on the stack) and writes the command, its exit status and what it printed
; to the open log. Sets $0 to the exit status.
!macro DEFINE_NETSH PREFIX
Function ${PREFIX}Netsh
  Exch $R0
  Push $R1
  nsExec::ExecToStack '"$SYSDIR\netsh.exe" $R0'
  Pop $0
  Pop $R1
  FileWrite $Log "netsh $R0$\r$\n"
  FileWrite $Log "exit status: $0$\r$\n$R1$\r$\n"
  DetailPrint "netsh $R0: $0"
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro DEFINE_NETSH ""
!insertmacro DEFINE_NETSH "un."

; The rules, by name: the device bus (replies come as broadcasts to UDP port 6000) for the three
; programs, and the FTP data connections (in active mode the player connects back to the program
; on a port it opened) for the two that talk FTP. Only from the local subnet.
!macro FIREWALL_RULES DO
  !insertmacro ${DO} "Kestrel device bus (kestrel.exe)" "kestrel.exe" "protocol=UDP localport=6000"
  !insertmacro ${DO} "Kestrel device bus (kestrel-cli.exe)" "kestrel-cli.exe" "protocol=UDP localport=6000"
  !insertmacro ${DO} "Kestrel device bus (kestrel-player.exe)" "kestrel-player.exe" "protocol=UDP localport=6000"
  !insertmacro ${DO} "Kestrel FTP data (kestrel.exe)" "kestrel.exe" "protocol=TCP"
  !insertmacro ${DO} "Kestrel FTP data (kestrel-cli.exe)" "kestrel-cli.exe" "protocol=TCP"
!macroend

; Whether one of the programs in the folder on the stack is running: Windows does not let a
; running program's file be opened for writing. Asks to close it; in a silent run, or on Cancel,
; the install or uninstall stops there (exit status 2), rather than leave old files behind.
!macro FIND_RUNNING FOLDER FILE
  ${If} $R2 == ""
  ${AndIf} ${FileExists} "${FOLDER}\${FILE}"
    ClearErrors
    FileOpen $0 "${FOLDER}\${FILE}" a
    ${If} ${Errors}
      StrCpy $R2 "${FILE}"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

!macro DEFINE_WAIT_UNTIL_CLOSED PREFIX
Function ${PREFIX}WaitUntilClosed
  Exch $R0
  Push $R2
  again:
  StrCpy $R2 ""
  !insertmacro FIND_RUNNING $R0 "kestrel.exe"
  !insertmacro FIND_RUNNING $R0 "kestrel-cli.exe"
  !insertmacro FIND_RUNNING $R0 "kestrel-player.exe"
  ${If} $R2 != ""
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R2 is running from $R0. Close it, then choose Retry." /SD IDCANCEL IDRETRY again
    DetailPrint "$R2 is running from $R0: stopped"
    Abort
  ${EndIf}
  Pop $R2
  Pop $R0
FunctionEnd
!macroend
!insertmacro DEFINE_WAIT_UNTIL_CLOSED ""
!insertmacro DEFINE_WAIT_UNTIL_CLOSED "un."

; ---------------------------------------------------------------- the setup program

; The folder for programs of the user alone (%LOCALAPPDATA%\Programs), in $0.
Function UserProgramsFolder
  ; FOLDERID_UserProgramFiles, made when missing (KF_FLAG_CREATE)
  System::Call 'shell32::SHGetKnownFolderPath(g "{5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}", i 0x8000, p 0, *p .r1) i .r0'
  ${If} $0 = 0
    System::Call '*$1(&w${NSIS_MAX_STRLEN} .r0)'
    System::Call 'ole32::CoTaskMemFree(p r1)'
  ${Else}
    StrCpy $0 "$LOCALAPPDATA\Programs"
  ${EndIf}
FunctionEnd

; The shell folders and the registry root of $Mode, the earlier install in it and the folder.
Function UseMode
  ${If} $Mode == "all"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ReadRegStr $EarlierDir SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $DirGiven != 1
    ${If} $EarlierDir != ""
      StrCpy $INSTDIR $EarlierDir
    ${ElseIf} $Mode == "all"
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      Call UserProgramsFolder
      StrCpy $INSTDIR "$0\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Starts this setup program again with administrator rights to install for all users. A silent
; run waits for it and takes over its outcome (the entry in "Apps" with this version), since
; Windows hands back no exit status; the wizard hands over to it.
Function RunElevated
  StrCpy $1 "/ALLUSERS /ELEVATED"
  ${If} ${Silent}
    StrCpy $1 "/S $1"
  ${EndIf}
  ${If} $DirGiven == 1
    StrCpy $1 "$1 /D=$INSTDIR"
  ${EndIf}
  ClearErrors
  ${If} ${Silent}
    ExecShellWait "runas" "$EXEPATH" "$1"
  ${Else}
    ExecShell "runas" "$EXEPATH" "$1"
  ${EndIf}
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Installing for all users needs administrator rights. Choose $\"Only for me$\" to install without them." /SD IDOK
    ${If} ${Silent}
      SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
    Abort
  ${EndIf}
  ${If} ${Silent}
    SetRegView 64
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $0 != "${VERSION_NUMBER}"
      SetErrorLevel 2
    ${EndIf}
  ${EndIf}
  Quit
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  Call CheckElevated
  StrCpy $Silent 0
  ${If} ${Silent}
    StrCpy $Silent 1
  ${EndIf}
  ${GetParameters} $R0
  StrCpy $ModeGiven 0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $Mode "all"
    StrCpy $ModeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    ${If} $ModeGiven == 1
      MessageBox MB_OK|MB_ICONSTOP "Give /ALLUSERS or /CURRENTUSER, not both." /SD IDOK
      SetErrorLevel 1
      Quit
    ${EndIf}
    StrCpy $Mode "user"
    StrCpy $ModeGiven 1
  ${EndIf}
  ${If} $ModeGiven != 1
    ; An earlier install chooses; else what the rights allow without asking.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $Mode "all"
    ${ElseIf} $1 != ""
      StrCpy $Mode "user"
    ${ElseIf} $Elevated == 1
      StrCpy $Mode "all"
    ${ElseIf} ${Silent}
      StrCpy $Mode "user"
    ${Else}
      StrCpy $Mode "all"
    ${EndIf}
  ${EndIf}
  ; (Without a mode given, the wizard asks first; a silent run follows an earlier install.)
  ${If} $Mode == "all"
  ${AndIf} $Elevated != 1
  ${AndIf} $ModeGiven$Silent != "00"
    ClearErrors
    ${GetOptions} $R0 "/ELEVATED" $R1
    ${IfNot} ${Errors}
      ; Started again with administrator rights and still without them: do not start a third time.
      MessageBox MB_OK|MB_ICONSTOP "Installing for all users needs administrator rights." /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
    Call RunElevated
  ${EndIf}
  Call UseMode
FunctionEnd

Function ModePage
  ${If} $ModeGiven == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Install for whom" "Kestrel can be installed for everyone who uses this computer, or for you alone."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 12u "&Anyone who uses this computer (all users)"
  Pop $RadioAll
  ${NSD_CreateLabel} 12u 14u -12u 30u "Into Program Files; asks for administrator rights. Adds firewall rules that let the players' replies and FTP data connections from the local network reach Kestrel."
  Pop $0
  ${NSD_CreateRadioButton} 0 52u 100% 12u "Only for &me"
  Pop $RadioUser
  ${NSD_CreateLabel} 12u 66u -12u 30u "Into your own programs folder; no administrator rights. Windows asks about the firewall when Kestrel first uses the network (README.txt says what to allow)."
  Pop $0
  ${If} $Mode == "all"
    ${NSD_Check} $RadioAll
  ${Else}
    ${NSD_Check} $RadioUser
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $RadioAll $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Mode "all"
    ${If} $Elevated != 1
      Call RunElevated
    ${EndIf}
  ${Else}
    StrCpy $Mode "user"
  ${EndIf}
  Call UseMode
FunctionEnd

!macro ADD_RULE NAME PROGRAM WHAT
  Push 'advfirewall firewall delete rule name="${NAME}"'
  Call Netsh
  Push 'advfirewall firewall add rule name="${NAME}" dir=in action=allow program="$INSTDIR\${PROGRAM}" ${WHAT} remoteip=localsubnet profile=any enable=yes'
  Call Netsh
  ${If} $0 != 0
    StrCpy $R9 1
  ${EndIf}
!macroend

Function AddFirewallRules
  StrCpy $R9 0
  FileOpen $Log "$INSTDIR\${FIREWALL_LOG}" w
  !insertmacro FIREWALL_RULES ADD_RULE
  FileClose $Log
  ${If} $R9 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "Some firewall rules could not be added (see ${FIREWALL_LOG} in $INSTDIR). README.txt says what to allow." /SD IDOK
  ${EndIf}
FunctionEnd

Section "Kestrel" SecProgram
  SectionIn RO
  Push $INSTDIR
  Call WaitUntilClosed
  ; An earlier copy in this mode goes first, by its own uninstaller, which knows its files; the
  ; settings stay, as a silent uninstall leaves them.
  ${If} $EarlierDir != ""
  ${AndIf} ${FileExists} "$EarlierDir\${UNINSTALLER}"
    Push $EarlierDir
    Call WaitUntilClosed
    DetailPrint "Removing the earlier copy in $EarlierDir"
    ExecWait '"$EarlierDir\${UNINSTALLER}" /S _?=$EarlierDir' $0
    Delete "$EarlierDir\${UNINSTALLER}"
    RMDir "$EarlierDir"
  ${EndIf}

  !include "${FILES_INSTALL}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kestrel.exe" "" "$INSTDIR\kestrel.exe" 0 SW_SHOWNORMAL "" "Play lists and zones of Veltra players"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION_NUMBER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrel.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ${If} $Mode == "all"
    StrCpy $0 "/ALLUSERS"
  ${Else}
    StrCpy $0 "/CURRENTUSER"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S $0'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1

  ${If} $Mode == "all"
    Call AddFirewallRules
  ${EndIf}

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; ---------------------------------------------------------------- the uninstaller

Function un.onInit
  SetRegView 64
  Call un.CheckElevated
  ; The install this uninstaller belongs to: the one whose entry names its folder; else the
  ; mode its entry in "Apps" started it with.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${GetParameters} $R0
  ${If} $0 == $INSTDIR
    StrCpy $Mode "all"
  ${ElseIf} $1 == $INSTDIR
    StrCpy $Mode "user"
  ${Else}
    StrCpy $Mode "user"
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
      StrCpy $Mode "all"
    ${EndIf}
  ${EndIf}
  ${If} $Mode == "all"
  ${AndIf} $Elevated != 1
    ClearErrors
    ${GetOptions} $R0 "/ELEVATED" $R1
    ${IfNot} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "Removing Kestrel installed for all users needs administrator rights." /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
    ; This copy again, with administrator rights, on the same folder.
    StrCpy $1 "/ALLUSERS /ELEVATED _?=$INSTDIR"
    ClearErrors
    ${If} ${Silent}
      ExecShellWait "runas" "$EXEPATH" "/S $1"
    ${Else}
      ExecShell "runas" "$EXEPATH" "$1"
    ${EndIf}
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "Removing Kestrel installed for all users needs administrator rights." /SD IDOK
      SetErrorLevel 740
    ${ElseIf} ${Silent}
      ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
      ${If} $0 == $INSTDIR
        SetErrorLevel 2
      ${EndIf}
    ${EndIf}
    Quit
  ${EndIf}
  ${If} $Mode == "all"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

!macro REMOVE_RULE NAME PROGRAM WHAT
  Push 'advfirewall firewall delete rule name="${NAME}"'
  Call un.Netsh
!macroend

Section "un.Kestrel" SecUnProgram
  SectionIn RO
  Push $INSTDIR
  Call un.WaitUntilClosed
  ${If} $Mode == "all"
    FileOpen $Log "$TEMP\${UNINSTALL_LOG}" w
    !insertmacro FIREWALL_RULES REMOVE_RULE
    FileClose $Log
  ${EndIf}
  !include "${FILES_UNINSTALL}"
  Delete "$INSTDIR\${FIREWALL_LOG}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

; Unticked unless chosen: a silent uninstall leaves the settings. Those of the user running the
; uninstaller (with administrator rights given by another account: that account's).
Section /o "un.Your settings" SecUnSettings
  SetShellVarContext current
  RMDir /r "$APPDATA\${PRODUCT}\Settings"
  RMDir "$APPDATA\${PRODUCT}"
  RMDir /r "$INSTDIR\Settings"
  RMDir "$INSTDIR"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnProgram} "The programs, the Start menu entry, the entry in Apps and, for an install for all users, the firewall rules."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnSettings} "ftpServer.ini, Zone.ini and localIP.ini in %APPDATA%\${PRODUCT}\Settings (and a Settings folder in the install folder)."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
