; The Windows installer (64-bit, as the program is): installs for the current user only, without administrator rights
; (school accounts have none), into the user's own programs folder, with a Start-menu entry
; and an uninstaller. windows/pack.sh passes the defines:
;   VERSION  1.0.0          STAGE  the installed folder (cmake --install)
;   FILES    the list of files in STAGE (install and uninstall macros)
;   OUTFILE  the installer to write
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define TITLE "ミルト　ーネ"
!define APPID "jp.ac.quorin.Quorin"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APPID}"

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quorin"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${TITLE} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileDescription" "${TITLE} のインストーラー"
VIAddVersionKey /LANG=1041 "CompanyName" "Quorin team"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Quorin team"

!include "MUI2.nsh"
!include "${FILES}"

!define MUI_ICON "${STAGE}/quorin.ico"
!define MUI_UNICON "${STAGE}/quorin.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorin.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--from-menu"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

Section
  SetShellVarContext current
  !insertmacro QuorinInstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The Start-menu entry starts the program in the user's own data folder, as the Linux
  ; menu entry does.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\quorin.exe" "--from-menu" \
                 "$INSTDIR\quorin.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorin.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Quorin team"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes exactly what was installed: the data folders, the settings and whatever else the
; user put into the folder stay.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${TITLE}.lnk"
  !insertmacro QuorinUninstallFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
