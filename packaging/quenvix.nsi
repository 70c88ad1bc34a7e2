; Per-user installer of Quenvix: no administrator rights, everything below the user's profile and
; HKEY_CURRENT_USER. Made by the "package" target (packaging/make_packages.cmake), which defines
; VERSION, VERSION_QUAD, FILES (the list of files, made from cmake/package.cmake's one list), ICON,
; OUTFILE, WEBSITE, DOWNLOAD_BASE, COPYRIGHT and PRODUCT_CODE, and SIGN_SCRIPT and SIGNED_PLUGINS
; when a key is given.
;
; Installer switches:   /S         silent
;                       /RESTART   with /S: start Quenvix again afterwards if a copy was running
;                                  (without /S that happens anyway)
;                       /D=DIR     install folder (last on the line, not quoted)
; Uninstaller switches: /S         silent; the settings are kept
;                       /REMOVESETTINGS  also remove the settings (HKCU\Software\Tarmel\Quenvix)
;                                  and the program's log (%LOCALAPPDATA%\Quenvix)
;                       _?=DIR     run in place and wait (the "Apps" entry's commands use it): the
;                                  caller gets the exit code; uninstall.exe goes once it has ended
; Exit codes: 0 done, 2 refused (a folder that is not ours), 3 a copy of Quenvix is still running
; and would not end (winget: packageInUse).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifdef SIGN_SCRIPT
; Authenticode, the documented NSIS way: !uninstfinalize (NSIS 3.08) runs on the uninstaller that
; WriteUninstaller will write at install time, before it is packed into the setup, and !finalize on
; the finished setup (https://nsis.sourceforge.io/Reference/!finalize,
; https://nsis.sourceforge.io/Signing_an_Uninstaller_externally). "= 0": a signing that fails fails
; the build, so no setup goes out with an unsigned uninstaller inside.
!uninstfinalize '/bin/bash "${SIGN_SCRIPT}" "%1"' = 0
!finalize '/bin/bash "${SIGN_SCRIPT}" "%1"' = 0
!endif
!ifdef SIGNED_PLUGINS
; The plug-ins (System, nsDialogs, ...) are unpacked into %TEMP% and loaded at run time: signed
; copies of NSIS's own, made by make_packages.cmake, are found first.
!addplugindir /amd64-unicode "${SIGNED_PLUGINS}"
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WordFunc.nsh"

!define MAIN_CLASS "QuenvixMainForm"
; Its key name is the ProductCode of the winget manifest.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_CODE}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Tarmel\Quenvix"
!define LOG_FOLDER "$LOCALAPPDATA\Quenvix"
; How long a running copy gets to end, in steps of 250 ms: 10 s.
!define END_WAIT_STEPS 40
; The longest install folder we take: its longest file, "\uninstall.exe", must still fit in
; MAX_PATH (260) with room to spare, or Windows' own tools could not remove what we put there.
!define MAX_INSTDIR_LENGTH 200

; The files the setup puts into the install folder besides uninstall.exe (QUENVIX_FILES), and the
; programs among them (QUENVIX_PROGRAMS), one list for both sides: the uninstaller deletes exactly
; these, never the folder's other contents.
!include "${FILES}"
!macro INSTALL_FILE SOURCE NAME
    File "/oname=${NAME}" "${SOURCE}"
!macroend
!macro REMOVE_FILE SOURCE NAME
    Delete "$INSTDIR\${NAME}"
!macroend
; Sets $4 to 1 when the program NAME in the install folder is still locked (a process runs it).
!macro CHECK_UNLOCKED NAME
    ${If} ${FileExists} "$INSTDIR\${NAME}"
        ClearErrors
        FileOpen $3 "$INSTDIR\${NAME}" a
        ${If} ${Errors}
            StrCpy $4 1
        ${Else}
            FileClose $3
        ${EndIf}
    ${EndIf}
!macroend
!macro CHECK_REMOVED NAME
    ${If} ${FileExists} "$INSTDIR\${NAME}"
        StrCpy $4 "$INSTDIR\${NAME}"
    ${EndIf}
!macroend
; The program's own log files (win/log.h); the folder goes only when nothing else is in it.
!macro REMOVE_LOG
    Delete "${LOG_FOLDER}\quenvix.log"
    Delete "${LOG_FOLDER}\quenvix.1.log"
    RMDir "${LOG_FOLDER}"
!macroend

Name "Quenvix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quenvix"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tarmel"
; Stopped by a copy that will not end (see EndRunningQuenvix).
!define STILL_RUNNING_CODE 3
ShowInstDetails hide
ShowUninstDetails hide

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Quenvix"
VIAddVersionKey "CompanyName" "Tarmel"
VIAddVersionKey "FileDescription" "Quenvix setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Quenvix"
!define MUI_FINISHPAGE_RUN_FUNCTION StartIfNotRunning
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var WasRunning
Var StillLocked
Var RestartAsked

; Ends a running Quenvix the way its "Exit" does (every window it hides comes back) with the program
; named in $0, then waits at most 10 s for its window to go and for every program of ours in
; $INSTDIR to be free (each stays locked until its process has ended). Sets $WasRunning, and
; $StillLocked when the window or a lock is still there at the end: then nothing may be replaced
; or removed.
!macro END_RUNNING_QUENVIX UN
Function ${UN}EndRunningQuenvix
    StrCpy $WasRunning 0
    StrCpy $StillLocked 0
    FindWindow $1 "${MAIN_CLASS}"
    ${If} $1 != 0
        StrCpy $WasRunning 1
        ${If} ${FileExists} "$0"
            ExecWait '"$0" --exit'
        ${EndIf}
    ${EndIf}
    StrCpy $2 0
    ${DoWhile} $2 < ${END_WAIT_STEPS}
        FindWindow $1 "${MAIN_CLASS}"
        ${If} $1 == 0
            StrCpy $4 0
            !insertmacro QUENVIX_PROGRAMS CHECK_UNLOCKED
            ${If} $4 == 0
                Return
            ${EndIf}
        ${EndIf}
        Sleep 250
        IntOp $2 $2 + 1
    ${Loop}
    ; Still there after 10 s: a copy that does not answer (hung, or stopped in a debugger). Its
    ; window alone is reason enough, whichever folder it runs from: every copy takes "--exit" from
    ; any other, so one that stays is one that cannot be ended now.
    StrCpy $StillLocked 1
FunctionEnd
!macroend
!insertmacro END_RUNNING_QUENVIX ""
!insertmacro END_RUNNING_QUENVIX "un."

; Answers in $R9 why $INSTDIR cannot take Quenvix, or "" when it can. Refused: a path too long for
; Windows' tools, a file, Windows' own folder, and a folder that holds other things but no Quenvix
; (installing there would mix our files with somebody else's, and an uninstall could not tell them
; apart). Our own folder, recorded at the last install or holding quenvix.exe, is always fine.
Function CheckInstallDir
    StrCpy $R9 ""
    StrLen $R1 "$INSTDIR"
    ${If} $R1 > ${MAX_INSTDIR_LENGTH}
        StrCpy $R9 "The folder's path is too long ($R1 characters; at most ${MAX_INSTDIR_LENGTH}).$\r$\nPlease choose a shorter one."
        Return
    ${EndIf}
    ${If} $R1 < 4
        StrCpy $R9 "Quenvix cannot be installed into $INSTDIR.$\r$\nPlease choose a folder of its own."
        Return
    ${EndIf}
    ; The attributes say what is there ("*.*" below a file matches on some systems).
    System::Call 'kernel32::GetFileAttributesW(w "$INSTDIR") i .R2'
    ${If} $R2 = -1
        Return
    ${EndIf}
    IntOp $R2 $R2 & 0x10 ; FILE_ATTRIBUTE_DIRECTORY
    ${If} $R2 = 0
        StrCpy $R9 "$INSTDIR is a file, not a folder.$\r$\nPlease choose a folder for Quenvix."
        Return
    ${EndIf}
    ; Windows' folder and anything below it; StrCmp compares without regard to case.
    StrLen $R2 "$WINDIR"
    StrCpy $R3 "$INSTDIR" $R2
    StrCpy $R4 "$INSTDIR" 1 $R2
    ${If} $R3 == "$WINDIR"
        ${If} $R4 == ""
        ${OrIf} $R4 == "\"
            StrCpy $R9 "Quenvix cannot be installed into Windows' own folder $INSTDIR.$\r$\nPlease choose another folder."
            Return
        ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\quenvix.exe"
        Return
    ${EndIf}
    ReadRegStr $R5 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R5 == "$INSTDIR"
        Return
    ${EndIf}
    FindFirst $R6 $R7 "$INSTDIR\*.*"
    ${DoUntil} $R7 == ""
        ${If} $R7 != "."
        ${AndIf} $R7 != ".."
            StrCpy $R9 "$INSTDIR already holds other files, and no Quenvix.$\r$\nPlease choose an empty folder, or a new one."
            ${Break}
        ${EndIf}
        FindNext $R6 $R7
    ${Loop}
    FindClose $R6
FunctionEnd

Function DirectoryPageLeave
    Call CheckInstallDir
    ${If} $R9 != ""
        MessageBox MB_OK|MB_ICONSTOP "$R9"
        Abort
    ${EndIf}
FunctionEnd

Function .onInit
    SetShellVarContext current
    StrCpy $RestartAsked 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/RESTART" $R1
    ${IfNot} ${Errors}
        StrCpy $RestartAsked 1
    ${EndIf}
    ; NSIS drops a /D= folder it cannot use (a file, for one) and goes on with the default folder
    ; without a word; the process's own command line still says what was asked for, and that is
    ; what gets checked. A folder refused here is refused before anything is written; a silent
    ; setup then ends with code 2.
    System::Call 'kernel32::GetCommandLineW() w .R3'
    ClearErrors
    ${WordFind} "$R3" " /D=" "E+1}" $R4
    ${IfNot} ${Errors}
        StrCpy $INSTDIR $R4
    ${EndIf}
    Call CheckInstallDir
    ${If} $R9 != ""
        MessageBox MB_OK|MB_ICONSTOP "$R9" /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

; Starts the installed program with the user's own rights, never with the setup's: a setup started
; "as administrator" would otherwise hand those rights to a program that runs all session long and
; takes commands from other programs. When we are elevated, Explorer (the desktop user's own
; process) starts it for us, the way the ShellExecAsUser plug-in does
; (https://nsis.sourceforge.io/ShellExecAsUser_plug-in); neither that plug-in nor the UAC plug-in
; comes with Debian's nsis, explorer.exe comes with Windows. IsUserAnAdmin answers for this process's
; token: false for the filtered token a non-elevated administrator runs with.
Function StartQuenvix
    System::Call 'shell32::IsUserAnAdmin() i .r1'
    ${If} $1 <> 0
        Exec '"$WINDIR\explorer.exe" "$INSTDIR\quenvix.exe"'
    ${Else}
        Exec '"$INSTDIR\quenvix.exe"'
    ${EndIf}
FunctionEnd

Function StartIfNotRunning
    FindWindow $1 "${MAIN_CLASS}"
    ${If} $1 == 0
        Call StartQuenvix
    ${EndIf}
FunctionEnd

Section "Quenvix" SecProgram
    SectionIn RO
    ; A running copy is asked to end by the program in the install folder: the installed one, which
    ; speaks the running copy's language, or on a first install the new one, put there first. Never
    ; a copy in the temp folder: anyone who can write there could swap the program we start.
    SetOutPath "$INSTDIR"
    ${IfNot} ${FileExists} "$INSTDIR\quenvix.exe"
        File "/oname=quenvix.exe" "${EXE}"
    ${EndIf}
    StrCpy $0 "$INSTDIR\quenvix.exe"
    Call EndRunningQuenvix
    ${If} $StillLocked == 1
        MessageBox MB_OK|MB_ICONSTOP "Quenvix is still running and did not end.$\r$\nPlease end it (tray menu, Exit) and run the setup again." /SD IDOK
        SetErrorLevel ${STILL_RUNNING_CODE}
        Abort
    ${EndIf}

    CreateDirectory "$INSTDIR\Help"
    !insertmacro QUENVIX_FILES INSTALL_FILE
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Quenvix.lnk" "$INSTDIR\quenvix.exe" "" "$INSTDIR\quenvix.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quenvix"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tarmel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quenvix.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    ; "_?=" (last on the line, as NSIS requires) runs the uninstaller in place instead of from a copy
    ; in %TEMP% that the first process hands over to and returns from at once: whoever uninstalls
    ; (Windows' "Apps", winget) waits for the end and gets the real exit code.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLUpdateInfo" "${DOWNLOAD_BASE}"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
    IntFmt $1 "0x%08X" $1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1

    ${If} $WasRunning == 1
        ${IfNot} ${Silent}
        ${OrIf} $RestartAsked == 1
            Call StartQuenvix
        ${EndIf}
    ${EndIf}
SectionEnd

Section "un.Quenvix" SecUnProgram
    SectionIn RO
    StrCpy $0 "$INSTDIR\quenvix.exe"
    Call un.EndRunningQuenvix
    ; Nothing goes while the program still runs: a half-removed Quenvix without its entry in "Apps"
    ; could not be removed again.
    ${If} $StillLocked == 1
        MessageBox MB_OK|MB_ICONSTOP "Quenvix is still running and did not end.$\r$\nPlease end it (tray menu, Exit) and uninstall again. Nothing was removed." /SD IDOK
        SetErrorLevel ${STILL_RUNNING_CODE}
        Abort
    ${EndIf}
    ; Before anything goes: windows that a copy which did not end cleanly left hidden come back
    ; from its recovery record (it does nothing while a copy still runs; that one owns them).
    ${If} ${FileExists} "$INSTDIR\quenvix.exe"
        ExecWait '"$INSTDIR\quenvix.exe" --restore-recorded'
    ${EndIf}
    ; Only what we installed: files removed by hand already are simply not there (no question, no
    ; error), and anything the user put into the folder stays, with the folder.
    !insertmacro QUENVIX_FILES REMOVE_FILE
    RMDir "$INSTDIR\Help"
    ; Run in place (_?=), uninstall.exe cannot go while it runs: un.onUninstSuccess sees to it.
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Quenvix.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "Quenvix"
    ; The entry in "Apps" goes last, and only once the program is gone.
    StrCpy $4 ""
    !insertmacro QUENVIX_PROGRAMS CHECK_REMOVED
    ${If} $4 != ""
        MessageBox MB_OK|MB_ICONSTOP "$4 could not be removed.$\r$\nPlease end Quenvix and uninstall again." /SD IDOK
        SetErrorLevel ${STILL_RUNNING_CODE}
        Abort
    ${EndIf}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Remove my settings" SecUnSettings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Tarmel"
    !insertmacro REMOVE_LOG
SectionEnd

; A running program's file stays until it has ended. Run in place (_?=, the "Apps" entry's way),
; uninstall.exe and then the install folder, if nothing else is left in it, go after we have ended;
; started without it, NSIS runs a copy of itself in the temp folder ("~nsu*.tmp\Un.exe") and leaves
; that copy behind, and that copy and its folder go. Either way cmd.exe (from System32) deletes
; exactly that file and its then empty folder after a pause of two seconds (ping is the one sleep
; every cmd.exe has).
Function un.onUninstSuccess
    StrLen $1 "$TEMP\~nsu"
    StrCpy $2 "$EXEDIR" $1
    ${If} $2 == "$TEMP\~nsu"
    ${OrIf} "$EXEDIR" == "$INSTDIR"
        ; cmd.exe starts in $OUTDIR: not in the folder it is to remove.
        SetOutPath "$TEMP"
        ExecShell "" "$SYSDIR\cmd.exe" '/d /q /c ping -n 3 127.0.0.1 >nul & del /f /q "$EXEPATH" & rmdir "$EXEDIR"' SW_HIDE
    ${EndIf}
FunctionEnd

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
