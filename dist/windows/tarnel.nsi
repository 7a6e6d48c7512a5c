; The Windows installer of tarnel.exe: the program, its help and its
; pictures in one folder, a Start-menu entry, and an uninstaller that leaves
; the user's settings in place unless the user asks for them to go (or
; passes /REMOVESETTINGS to a silent uninstall).
; makensis -DVERSION=1.0.0.1 -DBITS=64 -DPROGRAM=...\tarnel.exe -DHELP=... -DART=... -DOUTFILE=... tarnel.nsi
; Each architecture's installer is a program of that architecture: the
; 64-bit one needs no 32-bit side of Windows (or of Wine).
!if ${BITS} == 64
  Target amd64-unicode
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include FileFunc.nsh

!define NAME "Tarnel"
!define COMPANY "Halvorin"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnel"
!define SETTINGS_KEY "Software\Halvorin\Preferences"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
!if ${BITS} == 64
  InstallDir "$PROGRAMFILES64\${NAME}"
!else
  InstallDir "$PROGRAMFILES\${NAME}"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "CompanyName" "${COMPANY}"
VIAddVersionKey "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${COMPANY}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var RemoveSettings

Function .onInit
!if ${BITS} == 64
  SetRegView 64
!endif
  SetShellVarContext all
FunctionEnd

Section "Tarnel"
  SetOutPath "$INSTDIR"
  File "/oname=tarnel.exe" "${PROGRAM}"
  File "/oname=Tarnel.hlp" "${HELP}"
  SetOutPath "$INSTDIR\art"
  File "${ART}\splash.jpg"
  File "${ART}\question.jpg"
  File "${ART}\recycled.jpg"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${NAME}"
  CreateShortcut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\tarnel.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}\${NAME} Help.lnk" "$INSTDIR\Tarnel.hlp"
  CreateShortcut "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarnel.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
!if ${BITS} == 64
  SetRegView 64
!endif
  SetShellVarContext all
  StrCpy $RemoveSettings 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    StrCpy $RemoveSettings 1
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The inactive codecs and the driver list's backup are the machine's, not
  ; the program's: they stay, so that a later install finds them again.
  ${If} $RemoveSettings == 0
  ${AndIfNot} ${Silent}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove your ${NAME} settings as well?" /SD IDNO IDNO keep
    StrCpy $RemoveSettings 1
  keep:
  ${EndIf}
  ${If} $RemoveSettings == 1
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Halvorin"
  ${EndIf}

  Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}\${NAME} Help.lnk"
  Delete "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk"
  RMDir "$SMPROGRAMS\${NAME}"

  Delete "$INSTDIR\tarnel.exe"
  Delete "$INSTDIR\Tarnel.hlp"
  Delete "$INSTDIR\art\splash.jpg"
  Delete "$INSTDIR\art\question.jpg"
  Delete "$INSTDIR\art\recycled.jpg"
  RMDir "$INSTDIR\art"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
