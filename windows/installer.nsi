; The Windows installer (64-bit, as the program is), in two modes:
;   for the current user (the default): without administrator rights (school accounts have
;     none), into the user's own programs folder, with the user's Start-menu entry and
;     uninstall entry;
;   for every user of this computer: with administrator rights, into Program Files, with the
;     Start-menu entry for all users, the uninstall entry in HKLM, and an inbound firewall
;     rule for quorin.exe on private and domain networks, so that the tablets reach the class
;     server (an account without administrator rights cannot add one).
; Both come with an uninstaller that removes exactly what its mode installed.
;
; Command line (silent installs, /S, choose the mode with a switch):
;   /CURRENTUSER   for the current user (the default)
;   /ALLUSERS      for every user; without administrator rights a silent install ends with
;                  exit code 740 (elevation required)
;   /LOG=FILE      also write every command line the installer or uninstaller runs, with its
;                  exit code, to FILE (UTF-16LE); they are always in the details list
;
; windows/pack.sh passes the defines:
;   VERSION  1.0.0          STAGE  the installed folder (cmake --install)
;   FILES    the list of files in STAGE (install and uninstall macros)
;   OUTFILE  the installer to write
Target amd64-unicode
; The installer starts without asking for rights; the all-users mode asks for them by
; starting the installer again elevated.
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define TITLE "ミルト　ーネ"
!define APPID "jp.ac.quorin.Quorin"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APPID}"
; The firewall rule's name, as the teacher sees it in Windows' firewall settings: pack.sh
; passes it from windows/firewall-rule-name.txt, the name the program's tablet window looks for.
!ifndef FIREWALL_RULE
  !error "FIREWALL_RULE is passed by pack.sh"
!endif
!define ERROR_ELEVATION_REQUIRED 740

Name "${TITLE}"
OutFile "${OUTFILE}"
BrandingText "${TITLE} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileDescription" "${TITLE} のインストーラー"
VIAddVersionKey /LANG=1041 "CompanyName" "Quorin team"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Quorin team (GNU GPL version 3)"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"
!include "${FILES}"

Var AllUsers     ; 1: for every user of this computer
Var DirGiven     ; 1: the folder was named with /D=
Var LogFile      ; /LOG=FILE, or empty
Var ModeCurrent  ; the mode page's two choices
Var ModeAll

!define MUI_ICON "${STAGE}/quorin.ico"
!define MUI_UNICON "${STAGE}/quorin.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorin.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--from-menu"

!insertmacro MUI_PAGE_WELCOME
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; RunLogged COMMAND: runs the command line without a console window, shows it and its exit
; code in the details list and appends both to the /LOG= file.
!macro RunLogged COMMAND
  Push `${COMMAND}`
  !ifdef __UNINSTALL__
    Call un.RunLogged
  !else
    Call RunLogged
  !endif
!macroend

!macro RunLoggedFunction PREFIX
Function ${PREFIX}RunLogged
  Exch $0 ; the command line
  Push $1
  Push $2
  Push $3
  DetailPrint "$0"
  nsExec::ExecToLog $0
  Pop $1 ; the exit code, or "error" where it could not be started
  DetailPrint "  -> $1"
  ${If} $LogFile != ""
    ClearErrors
    FileOpen $2 $LogFile a
    ${IfNot} ${Errors}
      FileSeek $2 0 END $3
      ${If} $3 == 0
        FileWriteUTF16LE /BOM $2 "$0$\r$\n"
      ${Else}
        FileWriteUTF16LE $2 "$0$\r$\n"
      ${EndIf}
      FileWriteUTF16LE $2 "  -> $1$\r$\n"
      FileClose $2
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro RunLoggedFunction ""
!insertmacro RunLoggedFunction "un."

; The switches shared by the installer and the uninstaller.
!macro ReadLogSwitch
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LOG=" $LogFile
  ${If} ${Errors}
    StrCpy $LogFile ""
  ${EndIf}
!macroend

; Sets the shell context (Start menu, SHCTX) and, unless /D= named it, the folder of the mode:
; where this mode installed before, else its default folder.
Function ApplyMode
  ${If} $AllUsers == 1
    SetShellVarContext all
    ${If} $DirGiven != 1
      ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
      ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$PROGRAMFILES64\Quorin"
      ${EndIf}
    ${EndIf}
  ${Else}
    SetShellVarContext current
    ${If} $DirGiven != 1
      ReadRegStr $INSTDIR HKCU "${UNINSTALL_KEY}" "InstallLocation"
      ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Quorin"
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

!macro IsAdminFunction PREFIX
; Pushes 1 where this process has administrator rights (elevated), else 0.
Function ${PREFIX}IsAdmin
  Push $0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Exch $0
FunctionEnd
!macroend
!insertmacro IsAdminFunction ""
!insertmacro IsAdminFunction "un."

Function .onInit
  StrCpy $AllUsers 0
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  !insertmacro ReadLogSwitch
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ${If} $AllUsers == 1
  ${AndIf} ${Silent}
    Call IsAdmin
    Pop $R1
    ${If} $R1 != 1
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
  ${EndIf}
  Call ApplyMode
FunctionEnd

Function ModePage
  !insertmacro MUI_HEADER_TEXT "インストールの種類" "だれのためにインストールするかを選んでください。"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 24u "このユーザーだけ（管理者の権限はいりません）"
  Pop $ModeCurrent
  ${NSD_CreateRadioButton} 0 30u 100% 36u "このコンピューターのすべてのユーザー（管理者の権限が必要です。Program Files にインストールし、タブレットの教室のためにプライベートとドメインのネットワークで受信を許可するファイアウォールの規則を追加します）"
  Pop $ModeAll
  ${If} $AllUsers == 1
    ${NSD_Check} $ModeAll
  ${Else}
    ${NSD_Check} $ModeCurrent
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ModeAll $0
  ${If} $0 == ${BST_CHECKED}
    Call IsAdmin
    Pop $1
    ${If} $1 != 1
      ; Started again with administrator rights (Windows asks), in the all-users mode.
      ClearErrors
      ExecShell "runas" "$EXEPATH" "/ALLUSERS"
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "すべてのユーザーのためのインストールには管理者の権限が必要です。"
        Abort
      ${EndIf}
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call ApplyMode
FunctionEnd

Section
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  !insertmacro QuorinInstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The Start-menu entry starts the program in the user's own data folder, as the Linux
  ; menu entry does.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\quorin.exe" "--from-menu" \
                 "$INSTDIR\quorin.ico"
  ; SHCTX: HKCU for the current user, HKLM for every user.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorin.ico"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Quorin team"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  ${If} $AllUsers == 1
    ; The class server listens for the tablets on the school network. A rule of an earlier
    ; install goes first, so that installing again leaves one rule. netsh is named by its
    ; full path: an elevated installer must not run a netsh.exe lying beside it.
    !insertmacro RunLogged '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    !insertmacro RunLogged '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\quorin.exe" profile=private,domain enable=yes'
  ${EndIf}
SectionEnd

; The mode is the one whose uninstall entry names this folder.
Function un.onInit
  !insertmacro ReadLogSwitch
  StrCpy $AllUsers 0
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
    Call un.IsAdmin
    Pop $1
    ${If} $1 != 1
      ${If} ${Silent}
        SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      ClearErrors
      ExecShell "runas" "$EXEPATH" "_?=$INSTDIR"
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "すべてのユーザーのためにインストールしたものを削除するには管理者の権限が必要です。"
      ${EndIf}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; Removes exactly what was installed: the data folders, the settings and whatever else the
; user put into the folder stay.
Section "Uninstall"
  ${If} $AllUsers == 1
    SetShellVarContext all
    !insertmacro RunLogged '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  ${Else}
    SetShellVarContext current
  ${EndIf}
  Delete "$SMPROGRAMS\${TITLE}.lnk"
  !insertmacro QuorinUninstallFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
