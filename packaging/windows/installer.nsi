; The Windows setup program, Tarrow-Desk-<version>-setup.exe: a per-user
; install (no administrator rights) of the files of Tarrow.zip, with a
; Start-menu shortcut, an optional sign-in shortcut in the Startup folder and
; an entry in Settings > Apps. Only standard Modern UI pages, which screen
; readers read like any Windows dialog.
;
; makensis -DVERSION=1.0.7 -DOUTFILE=<setup.exe> -DFILES=<files.nsh> installer.nsi
; where files.nsh (written by scripts/package-windows from Tarrow.zip) puts
; every file of the archive in place.
;
; Silent use: /S, /D=<folder> (last, unquoted), /NOSTARTUP (no sign-in
; shortcut). The uninstaller: /S keeps prefs.ini, processes.txt and
; PROCESSES.LOG; /REMOVESETTINGS removes them too.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define PRODUCT "Tarrow Desk"
!define PUBLISHER "Tarrow"
!define PROGRAM "tarrow-desk.exe"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "Tarrow Desk.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarrowDesk"
; The program's hidden window: a close request to it ends the program silently.
!define WINDOW_CLASS "TarrowDeskHidden"
!define WINDOW_TITLE "Tarrow Desk"
!define CLOSE_WAIT_MS 10000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A new version goes where the last one is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.222"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}, Build 222"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var closedRunning

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckFolderPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks every running copy to close through its hidden window and waits up to
; ten seconds for each to end. Sets $closedRunning to 1 when one was running;
; aborts the install or removal when one does not end.
!macro CLOSE_RUNNING prefix
Function ${prefix}CloseRunning
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $closedRunning 0
    ${Do}
        FindWindow $0 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
        ${If} $0 == 0
            ${Break}
        ${EndIf}
        ${If} $closedRunning == 3
            MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running and does not close. End it with its exit hotkey, the modifier with Q, then run this again." /SD IDOK
            SetErrorLevel 2
            Abort
        ${EndIf}
        IntOp $closedRunning $closedRunning + 1
        DetailPrint "Closing the running ${PRODUCT}"
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1) i'
        ; SYNCHRONIZE: enough to wait for the end.
        System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
        System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0) i'
        ${If} $2 != 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
            System::Call 'kernel32::CloseHandle(p r2) i'
        ${Else}
            ; Not allowed to wait on the process: wait for its window to go.
            StrCpy $3 0
            ${DoWhile} $3 < 100
                Sleep 100
                System::Call 'user32::IsWindow(p r0) i .r1'
                ${If} $1 == 0
                    ${Break}
                ${EndIf}
                IntOp $3 $3 + 1
            ${Loop}
        ${EndIf}
    ${Loop}
    ${If} $closedRunning > 0
        StrCpy $closedRunning 1
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

; Puts in $0 why $INSTDIR cannot take the program, or nothing. The program
; writes its settings there, so the folder must be writable; and as the
; uninstaller empties the folder, it must not hold anything but an earlier copy
; (or the settings and lists one left behind).
Function CheckFolder
    Push $1
    Push $2
    StrCpy $0 ""
    ${If} ${FileExists} "$INSTDIR\*.*"
    ${AndIfNot} ${FileExists} "$INSTDIR\${PROGRAM}"
        FindFirst $1 $2 "$INSTDIR\*.*"
        ${DoWhile} $2 != ""
            ${If} $2 != "."
            ${AndIf} $2 != ".."
            ${AndIf} $2 != "prefs.ini"
            ${AndIf} $2 != "processes.txt"
            ${AndIf} $2 != "PROCESSES.LOG"
                StrCpy $0 "The folder $INSTDIR already holds other files. Choose an empty folder, a new one, or the folder of an earlier ${PRODUCT}."
                ${Break}
            ${EndIf}
            FindNext $1 $2
        ${Loop}
        FindClose $1
    ${EndIf}
    ${If} $0 == ""
        StrCpy $2 0
        ${IfNot} ${FileExists} "$INSTDIR\*.*"
            StrCpy $2 1
        ${EndIf}
        ClearErrors
        CreateDirectory "$INSTDIR"
        FileOpen $1 "$INSTDIR\tarrow-write-test.tmp" w
        ${If} ${Errors}
            StrCpy $0 "${PRODUCT} cannot write in the folder $INSTDIR, and it keeps its settings there. Choose a folder of your own, such as the one offered."
        ${Else}
            FileClose $1
            Delete "$INSTDIR\tarrow-write-test.tmp"
        ${EndIf}
        ; A folder made only for the test goes again (it is made anew on install).
        ${If} $2 == 1
            RMDir "$INSTDIR"
        ${EndIf}
    ${EndIf}
    Pop $2
    Pop $1
FunctionEnd

Function CheckFolderPage
    Push $0
    Call CheckFolder
    ${If} $0 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
        Pop $0
        Abort
    ${EndIf}
    Pop $0
FunctionEnd

; The program starts in its own folder: it finds prefs.ini, snd and
; processes.txt through its working folder.
Function StartProgram
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\${PROGRAM}"'
FunctionEnd

Section "${PRODUCT} (required)" SecProgram
    SectionIn RO
    ; The folder page checked it already; a silent install (/D) is checked here.
    ${If} ${Silent}
        Call CheckFolder
        ${If} $0 != ""
            DetailPrint "$0"
            SetErrorLevel 2
            Abort
        ${EndIf}
    ${EndIf}
    Call CloseRunning
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    ; The working folder of a shortcut is the output folder at its making.
    CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\${PROGRAM}"
    ; The sign-in shortcut is made again below when still wanted.
    Delete "$SMSTARTUP\${SHORTCUT}"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start ${PRODUCT} when I sign in" SecStartup
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMSTARTUP\${SHORTCUT}" "$INSTDIR\${PROGRAM}"
SectionEnd

; /NOSTARTUP: no sign-in shortcut (the box starts cleared on the pages too).
Function .onInit
    StrCpy $closedRunning 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/NOSTARTUP" $R1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecStartup}
    ${EndIf}
FunctionEnd

; A silent install that had to close the program starts the new one, so an
; update pushed by an administrator does not leave the user without it.
Function .onInstSuccess
    ${If} ${Silent}
    ${AndIf} $closedRunning == 1
        Call StartProgram
    ${EndIf}
FunctionEnd

; The uninstaller. Its folder holds the program's files, what updates brought
; since, and the user's own files, which stay unless chosen.
Function un.IsUserFile
    ; $1: a name in the folder; $2 becomes 1 for the user's own files.
    StrCpy $2 0
    ${If} $1 == "prefs.ini"
    ${OrIf} $1 == "processes.txt"
    ${OrIf} $1 == "PROCESSES.LOG"
        StrCpy $2 1
    ${EndIf}
FunctionEnd

Section "un.${PRODUCT} (required)" SecUnProgram
    SectionIn RO
    ; Never empty a drive or an unknown place.
    StrLen $0 "$INSTDIR"
    ${If} $0 < 4
    ${OrIfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        MessageBox MB_OK|MB_ICONSTOP "This uninstaller does not belong to a ${PRODUCT} folder." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    Call un.CloseRunning
    Delete "$SMPROGRAMS\${SHORTCUT}"
    Delete "$SMSTARTUP\${SHORTCUT}"
    ; Everything in the folder goes, whatever version put it there, but the user's files.
    FindFirst $0 $1 "$INSTDIR\*.*"
    ${DoWhile} $1 != ""
        ${If} $1 != "."
        ${AndIf} $1 != ".."
            Call un.IsUserFile
            ${If} $2 == 0
                ${If} ${FileExists} "$INSTDIR\$1\*.*"
                    RMDir /r "$INSTDIR\$1"
                ${Else}
                    Delete "$INSTDIR\$1"
                ${EndIf}
            ${EndIf}
        ${EndIf}
        FindNext $0 $1
    ${Loop}
    FindClose $0
    ; Only when empty.
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Also remove my settings and lists" SecRemoveSettings
    Delete "$INSTDIR\prefs.ini"
    Delete "$INSTDIR\processes.txt"
    Delete "$INSTDIR\PROCESSES.LOG"
    RMDir "$INSTDIR"
SectionEnd

; /REMOVESETTINGS: the box above starts ticked (and a silent removal takes them too).
Function un.onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/REMOVESETTINGS" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecRemoveSettings}
    ${EndIf}
FunctionEnd
