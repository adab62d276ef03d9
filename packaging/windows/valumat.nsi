; The Windows installer of Valumat (NSIS 3, Modern UI 2, German): for the current user, without administrator rights,
; into %LOCALAPPDATA%\Programs\Valumat. The shipped data files go into its subfolder "vorgaben": the program folder
; itself holds no waehrungen.dat, so the program keeps the user's data in %APPDATA%\Valumat (filled from
; "vorgaben" at the first start). A Start-menu entry, and an uninstaller registered under the current user's
; "Uninstall" key that removes the program, the Start-menu entry and the autostart value and leaves the user's data.
; /S installs and uninstalls silently.
;
; Both programs are inside: the 64-bit one (BINDIR64) is installed on 64-bit Windows, the 32-bit one (BINDIR)
; elsewhere. The installer itself is a 32-bit program, so that it runs on both; -DAMD64 makes it a 64-bit program
; (which always installs the 64-bit Valumat), for testing it where 32-bit programs cannot run.
;
;   makensis -DVERSION=1.2.0 -DBINDIR=$PWD/build/windows/bin -DBINDIR64=$PWD/build/windows64/bin \
;            -DRESDIR=$PWD/src/platform/win32/res -DOUTFILE=$PWD/dist/valumat-1.2.0-setup.exe \
;            packaging/windows/valumat.nsi   (absolute paths)

!ifdef AMD64
  Target amd64-unicode
!else
  Unicode true
!endif
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!ifndef VERSION | BINDIR | BINDIR64 | RESDIR | OUTFILE
  !error "VERSION, BINDIR, BINDIR64, RESDIR and OUTFILE must be defined (-D)"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Valumat"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define WINDOW_CLASS "ValumatConfigWindow"

Name "Valumat ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Valumat"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
BrandingText "Valumat ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ICON "${RESDIR}/valumat.ico"
!define MUI_UNICON "${RESDIR}/valumat.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Dieser Assistent installiert Valumat ${VERSION} für Ihr Benutzerkonto; Administratorrechte sind nicht nötig.$\r$\n$\r$\nValumat rechnet markierte Währungsbeträge in jeder Anwendung per Tastenkombination um (zum Beispiel Strg+D).$\r$\n$\r$\nIhre Daten (Währungen, Tastenkombinationen, Optionen) liegen in $\"%APPDATA%\Valumat$\" und bleiben auch bei einer Deinstallation erhalten."
!define MUI_FINISHPAGE_RUN "$INSTDIR\valumat.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "/config"
!define MUI_FINISHPAGE_RUN_TEXT "Valumat jetzt starten"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductName" "Valumat"
VIAddVersionKey /LANG=${LANG_GERMAN} "CompanyName" "www.valumat.example"
VIAddVersionKey /LANG=${LANG_GERMAN} "LegalCopyright" "Valumat"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileDescription" "Valumat ${VERSION} – Installation"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductVersion" "${VERSION}"

; Ends a running Valumat of this session the way closing its window does (no question, nothing saved), so that its
; files can be replaced or removed. Waits up to five seconds.
!macro CLOSE_RUNNING prefix
Function ${prefix}CloseRunning
  StrCpy $1 0
  loop:
    FindWindow $0 "${WINDOW_CLASS}" ""
    StrCmp $0 0 done
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    Sleep 100
    IntOp $1 $1 + 1
    IntCmp $1 50 done loop done
  done:
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Section "Valumat" SecProgram
  SectionIn RO
  SetShellVarContext current
  Call CloseRunning
  SetOutPath "$INSTDIR"
!ifdef AMD64
  File "${BINDIR64}/valumat.exe"
  File "${BINDIR64}/valumat-convert.exe"
!else
  ${If} ${RunningX64}
    File "${BINDIR64}/valumat.exe"
    File "${BINDIR64}/valumat-convert.exe"
  ${Else}
    File "${BINDIR}/valumat.exe"
    File "${BINDIR}/valumat-convert.exe"
  ${EndIf}
!endif
  SetOutPath "$INSTDIR\vorgaben"
  File "${BINDIR}/waehrungen.dat"
  File "${BINDIR}/tasten.dat"
  File "${BINDIR}/options.dat"
  File "${BINDIR}/keypress.txt"
  File "${BINDIR}/keypressexcel.txt"
  File "${BINDIR}/readme.txt"
  SetOutPath "$INSTDIR\vorgaben\hilfe"
  File "${BINDIR}/hilfe/keypress.html"
  SetOutPath "$INSTDIR"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Valumat.lnk" "$INSTDIR\valumat.exe" "/config" "$INSTDIR\valumat.exe" 0 \
                 SW_SHOWNORMAL "" "Währungsbeträge per Tastenkombination umrechnen"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Valumat"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "www.valumat.example"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.valumat.example/"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\valumat.exe$\",0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.CloseRunning
  Delete "$INSTDIR\valumat.exe"
  Delete "$INSTDIR\valumat-convert.exe"
  RMDir /r "$INSTDIR\vorgaben"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Valumat.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Valumat"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The user's data in %APPDATA%\Valumat stays.
SectionEnd
