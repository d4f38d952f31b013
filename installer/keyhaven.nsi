; Installer of Fn-StickyKey: Keyhaven.exe, Latchwire.dll and the four sounds
; under the program-files folder in ORVENTA\Accessibility, the machine-wide
; version value that the About box shows, a Start-menu entry, and an
; uninstaller that ends a running instance and removes all of it.
;
; Built by CMake:  makensis -DBINDIR=<folder with the files> -DOUTFILE=<setup.exe> keyhaven.nsi
; Silent use:      setup.exe /S        Uninstall.exe /S

Unicode true
!include "LogicLib.nsh"

!ifndef BINDIR
  !error "BINDIR must name the folder that holds Keyhaven.exe, Latchwire.dll and the sounds"
!endif
!ifndef OUTFILE
  !define OUTFILE "FnStickyKeySetup.exe"
!endif

!define PRODUCT "Fn-StickyKey"
!define MAKER "ORVENTA"
!define VERSION "1.28"
!define SETTINGS_KEY "Software\ORVENTA\Accessibility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ORVENTA Fn-StickyKey"
!define MENU_FOLDER "$SMPROGRAMS\ORVENTA"

Name "${MAKER} ${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\ORVENTA\Accessibility"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
; The same files build the same setup program: no file times inside it.
SetDateSave off

!ifndef FILE_VERSION
  !error "FILE_VERSION must give the four numbers of the product's version (a.b.c.d)"
!endif
VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${MAKER} ${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright © 2005 ${MAKER}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "FnStickyKeySetup.exe"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${FILE_VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BINDIR}\Keyhaven.exe"
  File "${BINDIR}\Latchwire.dll"
  File "${BINDIR}\keyTmpLock.wav"
  File "${BINDIR}\keyLock.wav"
  File "${BINDIR}\keyUnlock.wav"
  File "${BINDIR}\Disable.wav"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  SetRegView 32
  WriteRegStr HKLM "${SETTINGS_KEY}" "version" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${MAKER} ${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\Keyhaven.exe" "" "$INSTDIR\Keyhaven.exe" 0
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ; A running instance releases the Fn key, switches the feature off and ends.
  ${If} ${FileExists} "$INSTDIR\Keyhaven.exe"
    ExecWait '"$INSTDIR\Keyhaven.exe" Close'
  ${EndIf}

  Delete "$INSTDIR\Keyhaven.exe"
  Delete "$INSTDIR\Latchwire.dll"
  Delete "$INSTDIR\keyTmpLock.wav"
  Delete "$INSTDIR\keyLock.wav"
  Delete "$INSTDIR\keyUnlock.wav"
  Delete "$INSTDIR\Disable.wav"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES\ORVENTA"

  Delete "${MENU_FOLDER}\${PRODUCT}.lnk"
  RMDir "${MENU_FOLDER}"

  SetRegView 32
  DeleteRegValue HKLM "${SETTINGS_KEY}" "version"
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\ORVENTA"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
