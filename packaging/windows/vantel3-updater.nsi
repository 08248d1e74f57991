; The Windows installer: puts the staged program folder into Program Files, adds a Start-menu
; entry and registers an uninstaller in Add/Remove Programs. Built by make-packages, which
; passes these on makensis' command line:
;   VERSION    the project's version (CMake's project version)
;   STAGE      the staged program folder (the same tree that goes into the portable zip)
;   FILES      generated include: SetOutPath/File lines for every staged file
;   UNFILES    generated include: Delete/RMDir lines for exactly those files and folders
;   SIZE_KB    the staged tree's size, shown in Add/Remove Programs
;   OUTFILE    the installer to write
;   WINDOW     defined when the native window (bin\vantel3-updater.exe) is staged
;   ICON       the program's icon, for the installer and the uninstaller (optional)

Unicode true
Target amd64-unicode
ManifestDPIAware true
ManifestSupportedOS Win10
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define PRODUCT "Vantel3 Updater"
!define PUBLISHER "Vantel"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantel3Updater"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!ifdef WINDOW
  !define SHORTCUT_TARGET "$INSTDIR\bin\vantel3-updater.exe"
!else
  !define SHORTCUT_TARGET "$INSTDIR\bin\vantel3-updater-text.exe"
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define MUI_ABORTWARNING
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the fallback; Korean is chosen where Windows runs in Korean.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"

LangString FinishText ${LANG_ENGLISH} "${PRODUCT} is installed.$\r$\n$\r$\nCopy the vendor's update package into$\r$\n$INSTDIR\bin\data\$\r$\nbefore you start an update."
LangString FinishText ${LANG_KOREAN} "${PRODUCT} 설치가 끝났습니다.$\r$\n$\r$\n업데이트를 시작하기 전에 제조사의 업데이트 패키지를$\r$\n$INSTDIR\bin\data\$\r$\n폴더에 복사하십시오."
LangString NeedAdmin ${LANG_ENGLISH} "${PRODUCT} must be installed by an administrator."
LangString NeedAdmin ${LANG_KOREAN} "${PRODUCT}는 관리자 권한으로 설치해야 합니다."

; Without UAC (or with UAC turned off) a standard user's installer runs unelevated and could
; not write Program Files or HKLM; stop before anything is written. 740 is
; ERROR_ELEVATION_REQUIRED.
!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro RequireAdmin
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro RequireAdmin
FunctionEnd

Section "Install"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The updater reads its package from .\data, relative to the folder it is started in, so
  ; the entry starts it in bin\, beside bin\data\ (SetOutPath sets the "Start in" folder).
  SetOutPath "$INSTDIR\bin"
  CreateShortcut "${SHORTCUT}" "${SHORTCUT_TARGET}" "" "${SHORTCUT_TARGET}" 0

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "${SHORTCUT_TARGET}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly the files and folders that were installed, by name, never a folder with
; whatever is in it: a folder goes only once it is empty. So the user's package in bin\data\
; (and the program's own "fa.bin" beside it, which records a failed Bluetooth update for the
; next run) stay, and with them the folders that hold them.
Section "Uninstall"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINST_KEY}"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
