; RunwardenSetup.exe: installs Runwarden for every user of a 64-bit Windows and registers
; its start at every logon through the program's own "/enable" (the uninstaller calls
; "/disable"), as the options window's Enable button does. Built by the windows preset:
;   makensis -DVERSION=1.0.0.0 -DAPP_DIR=<build>/app -DOUT_FILE=<build>/RunwardenSetup.exe
;
; The uninstaller asks whether to keep the Allowed and Blocked lists. Silent, it keeps
; them: a user's decisions cannot be made again, and an upgrade or a scripted removal
; should not lose them. /REMOVELISTS removes them (and every other setting), /KEEPLISTS
; keeps them without asking:
;   uninstall.exe /S /REMOVELISTS

Unicode true
; Runwarden.exe is a 64-bit program, and so is its setup: it sees the 64-bit Program
; Files and registry as the program does.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include StrFunc.nsh
${UnStrStr}

!define PRODUCT "Runwarden"
!define PUBLISHER "Runwarden developers"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Runwarden"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
!define RUNONCE_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce"
!define SETTINGS_KEY "SOFTWARE\Runwarden"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A later setup installs over the earlier one, wherever the user put it.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} Uninstall"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Welcome to ${PRODUCT} ${VERSION} Setup"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} guards the places from which Windows starts programs by itself. At every Windows start it asks you about each new autostart entry, and removes again the ones you blocked.$\r$\n$\r$\nSetup copies ${PRODUCT} into the folder you choose and registers its guard to run at every Windows start, for every user of this computer.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install ${PRODUCT} in the folder below. To install it in another folder, click Browse."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Its guard starts with Windows from now on.$\r$\n$\r$\nThe options window is in the Start menu under ${PRODUCT}."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Runwarden.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Open the ${PRODUCT} options"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\help.htm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Read the ${PRODUCT} help"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; Ends every running Runwarden.exe (a resident guard, an open options window) through the
; program's own mode for ending processes by name, so its files can be replaced or deleted.
!macro EndRunningCopies
  ${If} ${FileExists} "$INSTDIR\Runwarden.exe"
    DetailPrint "Ending running copies of ${PRODUCT}"
    ExecWait '"$INSTDIR\Runwarden.exe" Runwarden.exe'
  ${EndIf}
!macroend

Section "Runwarden" SecProgram
  SectionIn RO
  SetShellVarContext all
  !insertmacro EndRunningCopies

  SetOutPath "$INSTDIR"
  File "${APP_DIR}/Runwarden.exe"
  File "${APP_DIR}/prerules.ini"
  File "${APP_DIR}/virrules.ini"
  File "${APP_DIR}/detection.wav"
  File "${APP_DIR}/help.htm"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The guard's start at every logon, registered by the program as the options window's
  ; Enable registers it: the logon tasks where Windows has a Task Scheduler, the Run value
  ; where it does not. A failure is the program's status, and its errlog.log says more.
  DetailPrint "Registering the start of ${PRODUCT} at every logon"
  ClearErrors
  ExecWait '"$INSTDIR\Runwarden.exe" /enable' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    DetailPrint "Could not register the start at logon (status $0)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} could not register its start at every logon (status $0).$\r$\n$\r$\nOpen the ${PRODUCT} options as an administrator and press Enable/Disable ${PRODUCT}; errlog.log in $INSTDIR tells more." /SD IDOK
  ${EndIf}

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Runwarden.exe" "" "$INSTDIR\Runwarden.exe" 0 \
      SW_SHOWNORMAL "" "${PRODUCT} options"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Runwarden.exe"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Var KeepLists

; Sets KeepLists from the command line, or from the user's answer.
Function un.ChooseWhatToKeep
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVELISTS" $1
  ${IfNot} ${Errors}
    StrCpy $KeepLists 0
    Return
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/KEEPLISTS" $1
  ${IfNot} ${Errors}
    StrCpy $KeepLists 1
    Return
  ${EndIf}
  StrCpy $KeepLists 1
  MessageBox MB_YESNO|MB_ICONQUESTION "Do you want to keep your Allowed and Blocked lists?$\r$\n$\r$\nYes keeps them, with your options, for a later installation of ${PRODUCT}. No removes every setting of ${PRODUCT} from this computer." /SD IDYES IDYES +2
  StrCpy $KeepLists 0
FunctionEnd

; Writes $2 to the value named by the registry path $0 ("HKCU\Software\...\Run\Name"):
; the key is the path up to its last backslash, the value name what follows it.
Function un.WriteRegPath
  StrLen $3 $0
  ${Do}
    IntOp $3 $3 - 1
    ${If} $3 < 0
      Return
    ${EndIf}
    StrCpy $4 $0 1 $3
  ${LoopUntil} $4 == "\"
  StrCpy $5 $0 $3         ; the key's registry path
  IntOp $3 $3 + 1
  StrCpy $6 $0 "" $3      ; the value name
  StrCpy $7 $5 4          ; the root, case-sensitive as the program writes it
  StrCpy $8 $5 "" 5       ; the subkey
  ${If} $7 S== "HKLM"
    WriteRegStr HKLM $8 $6 $2
  ${ElseIf} $7 S== "HKCU"
    WriteRegStr HKCU $8 $6 $2
  ${ElseIf} $7 S== "HKCR"
    WriteRegStr HKCR $8 $6 $2
  ${EndIf}
FunctionEnd

; The early scan of a logon sets undecided entries aside until the guard puts them back.
; With the guard gone, nothing would: put them back now, or they are lost.
Function un.RestoreMutedEntries
  StrCpy $9 0
  ${Do}
    ClearErrors
    EnumRegValue $0 HKLM "${SETTINGS_KEY}\Muted" $9
    ${If} ${Errors}
    ${OrIf} $0 == ""
      ${ExitDo}
    ${EndIf}
    ReadRegStr $2 HKLM "${SETTINGS_KEY}\Muted" $0
    StrCpy $1 $0 1 1
    ${If} $1 == ":"
      ; A file of a Startup folder, waiting in the pss folder.
      ${If} ${FileExists} $2
        Delete $0
        ClearErrors
        Rename $2 $0
        ${If} ${Errors}
          DetailPrint "Could not put back $0"
          IntOp $9 $9 + 1
          ${Continue}
        ${EndIf}
      ${EndIf}
    ${Else}
      Call un.WriteRegPath
    ${EndIf}
    DetailPrint "Put back $0"
    ClearErrors
    DeleteRegValue HKLM "${SETTINGS_KEY}\Muted" $0
    ${If} ${Errors}
      IntOp $9 $9 + 1
    ${EndIf}
  ${Loop}
FunctionEnd

; Deletes the autostart value "Runwarden" of key $0 when it starts this installation's
; program; a value of a copy in another folder is that copy's.
Function un.RemoveAutostartValue
  ClearErrors
  ReadRegStr $1 HKLM $0 "${PRODUCT}"
  ${If} ${Errors}
    Return
  ${EndIf}
  ${UnStrStr} $2 $1 "$INSTDIR\Runwarden.exe"
  ${If} $2 != ""
    DeleteRegValue HKLM $0 "${PRODUCT}"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.ChooseWhatToKeep
  !insertmacro EndRunningCopies
  Call un.RestoreMutedEntries

  ; The logon tasks and the program's own Run values, by the program itself; then any
  ; value of this installation that an older version left.
  ${If} ${FileExists} "$INSTDIR\Runwarden.exe"
    DetailPrint "Removing the start of ${PRODUCT} at every logon"
    ExecWait '"$INSTDIR\Runwarden.exe" /disable' $0
  ${EndIf}
  StrCpy $0 "${RUN_KEY}"
  Call un.RemoveAutostartValue
  StrCpy $0 "${RUNONCE_KEY}"
  Call un.RemoveAutostartValue

  ; What setup copied, and what the program writes beside itself.
  Delete "$INSTDIR\Runwarden.exe"
  Delete "$INSTDIR\prerules.ini"
  Delete "$INSTDIR\virrules.ini"
  Delete "$INSTDIR\detection.wav"
  Delete "$INSTDIR\help.htm"
  Delete "$INSTDIR\ver.ini"
  Delete "$INSTDIR\log.log"
  Delete "$INSTDIR\errlog.log"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files the user put there stay.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  ; The caches are rebuilt by the next installation; a muted entry that could not be
  ; put back keeps its record.
  DeleteRegKey HKLM "${SETTINGS_KEY}\Cached"
  DeleteRegKey HKLM "${SETTINGS_KEY}\Hashes"
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}\Muted"
  ; Blocked entries whose backups are left can still be restored; an emptied key goes.
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}\Backups"
  ${If} $KeepLists == 0
    ClearErrors
    EnumRegKey $0 HKLM "${SETTINGS_KEY}" 0
    ${If} $0 == ""
      DeleteRegKey HKLM "${SETTINGS_KEY}"
    ${Else}
      DeleteRegValue HKLM "${SETTINGS_KEY}" "Allowed"
      DeleteRegValue HKLM "${SETTINGS_KEY}" "Blocked"
    ${EndIf}
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
