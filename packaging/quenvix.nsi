; Per-user installer of Quenvix: no administrator rights, everything below the user's profile and
; HKEY_CURRENT_USER. Made by the "package" target (cmake/package.cmake), which defines VERSION,
; VERSION_QUAD, EXE, README, ICON and OUTFILE.
;
; Installer switches:   /S         silent
;                       /RESTART   with /S: start Quenvix again afterwards if a copy was running
;                                  (without /S that happens anyway)
;                       /D=DIR     install folder (last on the line, not quoted)
; Uninstaller switches: /S         silent; the settings are kept
;                       /REMOVESETTINGS  also remove the settings (HKCU\Software\Tarmel\Quenvix)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define MAIN_CLASS "QuenvixMainForm"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Tarmel\Quenvix"
; How long a running copy gets to end, in steps of 250 ms: 10 s.
!define END_WAIT_STEPS 40

Name "Quenvix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quenvix"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tarmel"
ShowInstDetails hide
ShowUninstDetails hide

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Quenvix"
VIAddVersionKey "CompanyName" "Tarmel"
VIAddVersionKey "FileDescription" "Quenvix setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Tarmel"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Quenvix"
!define MUI_FINISHPAGE_RUN_FUNCTION StartIfNotRunning
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var WasRunning
Var RestartAsked

; Ends a running Quenvix the way its "Exit" does (every window it hides comes back) with the program
; named in $0, then waits at most 10 s for its window to go and for $INSTDIR\quenvix.exe to be free
; (it stays locked until the process has ended). Sets $WasRunning.
!macro END_RUNNING_QUENVIX UN
Function ${UN}EndRunningQuenvix
    StrCpy $WasRunning 0
    FindWindow $1 "${MAIN_CLASS}"
    ${If} $1 == 0
        Return
    ${EndIf}
    StrCpy $WasRunning 1
    ${If} ${FileExists} "$0"
        ExecWait '"$0" --exit'
    ${EndIf}
    StrCpy $2 0
    ${DoWhile} $2 < ${END_WAIT_STEPS}
        FindWindow $1 "${MAIN_CLASS}"
        ${If} $1 == 0
            ${IfNot} ${FileExists} "$INSTDIR\quenvix.exe"
                ${Break}
            ${EndIf}
            ClearErrors
            FileOpen $3 "$INSTDIR\quenvix.exe" a
            ${IfNot} ${Errors}
                FileClose $3
                ${Break}
            ${EndIf}
        ${EndIf}
        Sleep 250
        IntOp $2 $2 + 1
    ${Loop}
FunctionEnd
!macroend
!insertmacro END_RUNNING_QUENVIX ""
!insertmacro END_RUNNING_QUENVIX "un."

Function .onInit
    SetShellVarContext current
    StrCpy $RestartAsked 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/RESTART" $R1
    ${IfNot} ${Errors}
        StrCpy $RestartAsked 1
    ${EndIf}
FunctionEnd

Function StartIfNotRunning
    FindWindow $1 "${MAIN_CLASS}"
    ${If} $1 == 0
        Exec '"$INSTDIR\quenvix.exe"'
    ${EndIf}
FunctionEnd

Section "Quenvix" SecProgram
    SectionIn RO
    ; The new program ends the old one: it knows --exit whatever version is running.
    InitPluginsDir
    SetOutPath "$PLUGINSDIR"
    File "${EXE}"
    StrCpy $0 "$PLUGINSDIR\quenvix.exe"
    Call EndRunningQuenvix

    SetOutPath "$INSTDIR"
    File "${EXE}"
    File "${README}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Quenvix.lnk" "$INSTDIR\quenvix.exe" "" "$INSTDIR\quenvix.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quenvix"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tarmel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quenvix.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.tarmel.example"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    IntFmt $1 "0x%08X" $1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1

    ${If} $WasRunning == 1
        ${IfNot} ${Silent}
        ${OrIf} $RestartAsked == 1
            Exec '"$INSTDIR\quenvix.exe"'
        ${EndIf}
    ${EndIf}
SectionEnd

Section "un.Quenvix" SecUnProgram
    SectionIn RO
    StrCpy $0 "$INSTDIR\quenvix.exe"
    Call un.EndRunningQuenvix
    ; Before anything goes: windows that a copy which did not end cleanly left hidden come back
    ; from its recovery record (it does nothing while a copy still runs; that one owns them).
    ${If} ${FileExists} "$INSTDIR\quenvix.exe"
        ExecWait '"$INSTDIR\quenvix.exe" --restore-recorded'
    ${EndIf}
    ; Files removed by hand already are simply not there: no question, no error.
    Delete "$INSTDIR\quenvix.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Quenvix.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "Quenvix"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Remove my settings" SecUnSettings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Tarmel"
SectionEnd

; After the sections, whose numbers it needs.
Function un.onInit
    SetShellVarContext current
    ${un.GetParameters} $R0
    ClearErrors
    ${un.GetOptions} $R0 "/REMOVESETTINGS" $R1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecUnSettings} ${SF_SELECTED}
    ${EndIf}
FunctionEnd
