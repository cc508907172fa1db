; Setup of the Zequora support programs: copies ZQM.exe, ZQR.exe and ZQU.exe with the
; administrator's guide into the program folder chosen (or given by /D=). It writes no INI
; file but a missing zqu.ini, made from the template, so existing settings stay as they are.
; Built by scripts/package-windows.sh:
;   makensis -DVERSION=4.1.23 -DBITS=64 -DSRC=<staged files> -DOUT=<setup.exe> setup.nsi
Unicode true
!if ${BITS} == 64
  Target amd64-unicode
!endif
!include "MUI2.nsh"

Name "Zequora-Hilfsprogramme ${VERSION} (${BITS} Bit)"
OutFile "${OUT}"
InstallDir "C:\Zequora"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1031 "ProductName" "ZEQUORA Hilfsprogramme"
VIAddVersionKey /LANG=1031 "FileDescription" "Setup der ZEQUORA Hilfsprogramme (ZQM, ZQR, ZQU)"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "LegalCopyright" ""

!define MUI_DIRECTORYPAGE_TEXT_TOP "Wählen Sie das Programmverzeichnis der Zequora-Installation, das Verzeichnis mit zqm.ini und zqm.zqf. Vorhandene INI-Dateien bleiben unverändert."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Section "Programme"
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${SRC}\ZQM.exe"
  File "${SRC}\ZQR.exe"
  File "${SRC}\ZQU.exe"
  File "${SRC}\ADMIN-GUIDE.de.md"
  File "${SRC}\ADMIN-GUIDE.en.md"
  File "${SRC}\zqu.ini.template"
  ; Settings are the administrator's: only a missing zqu.ini is made, from the template.
  IfFileExists "$INSTDIR\zqu.ini" +2 0
    CopyFiles /SILENT "$INSTDIR\zqu.ini.template" "$INSTDIR\zqu.ini"
SectionEnd
