; Installer of Fn-StickyKey: Keyhaven.exe, Latchwire.dll and the four sounds
; under the program-files folder in ORVENTA\Accessibility, the machine-wide
; version value that the About box shows, a Start-menu entry, and an
; uninstaller that ends a running instance and removes all of it; and, unless
; the notebook keeps the driver it came with, the Latchwire kernel driver, whose
; service Latchwire.dll's Check_Driver installs and UnloadDriver removes. On
; 64-bit Windows the program and library stay 32-bit (they run under WOW64) and
; the driver is the x64 one, put into the native System32\drivers.
;
; Built by CMake:  makensis -DBINDIR=<folder with the files> -DOUTFILE=<setup.exe>
;                           -DFILE_VERSION=<a.b.c.d> keyhaven.nsi
; Silent use:      setup.exe /S [/KEEPDRIVER]        Uninstall.exe /S
;                  /KEEPDRIVER (or the unchecked driver component) keeps the
;                  notebook's own driver: no driver file or service is installed.

Unicode true
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

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
!define DRIVER_SERVICE "Latchwire"
!define DRIVER_FILE "$SYSDIR\drivers\latchwire.sys"

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

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Fn-StickyKey" SecProgram
  SectionIn RO
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

; Turns the file-system redirection of 64-bit Windows off for the driver steps, so
; that $SYSDIR\drivers is the native System32\drivers, for this setup's own file
; operations and for the library's (Check_Driver looks for the file there). The
; library is loaded first, while the redirection is still on, so that the system
; DLLs it imports are the 32-bit ones; CloseDriverSteps gives both back.
; Nothing is done on 32-bit Windows.
!macro OpenDriverSteps
  ${If} ${RunningX64}
    System::Call 'kernel32::LoadLibraryW(w "$INSTDIR\Latchwire.dll") p .r9'
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend
!macro CloseDriverSteps
  ${If} ${RunningX64}
    ${EnableX64FSRedirection}
    System::Call 'kernel32::FreeLibrary(p r9)'
  ${EndIf}
!macroend

; The driver: copied to the system's driver folder (on 64-bit Windows the x64
; driver, into the native one), then its service created, started and set to
; start with the system by the library's Check_Driver.
Section "Latchwire kernel driver (uncheck to keep the notebook's own driver)" SecDriver
  !insertmacro OpenDriverSteps
  SetOutPath "$SYSDIR\drivers"
  ${If} ${RunningX64}
    File "${BINDIR}\x64\latchwire.sys"
  ${Else}
    File "${BINDIR}\latchwire.sys"
  ${EndIf}
  System::Call '"$INSTDIR\Latchwire.dll"::Check_Driver(m "${DRIVER_SERVICE}", m "${DRIVER_FILE}") i .r0 ? u'
  ${IfNot} $0 == 1
    Delete "${DRIVER_FILE}"
  ${EndIf}
  !insertmacro CloseDriverSteps
  ${If} $0 == 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "DriverInstalled" 1
  ${Else}
    MessageBox MB_OK|MB_ICONEXCLAMATION "The Latchwire driver could not be installed; Fn-StickyKey needs a driver that serves \\.\Latchwire." /SD IDOK
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/KEEPDRIVER" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecDriver} 0
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ; A running instance releases the Fn key, switches the feature off and ends.
  ${If} ${FileExists} "$INSTDIR\Keyhaven.exe"
    ExecWait '"$INSTDIR\Keyhaven.exe" Close'
  ${EndIf}

  ; The driver goes only where this setup installed it.
  SetRegView 32
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "DriverInstalled"
  ${If} $0 == 1
    !insertmacro OpenDriverSteps
    System::Call '"$INSTDIR\Latchwire.dll"::UnloadDriver(m "${DRIVER_SERVICE}") i .r1 ? u'
    Delete /REBOOTOK "${DRIVER_FILE}"
    !insertmacro CloseDriverSteps
  ${EndIf}

  ; The instance that was asked to close may take a moment to end: its program
  ; file can be deleted once it has.
  StrCpy $2 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\Keyhaven.exe"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $2 $2 + 1
  ${LoopUntil} $2 >= 150
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
