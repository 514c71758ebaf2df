; The Windows installer of Vormetra Proxy, one script for both Windows builds. tools/installer.sh
; makes it with:
;   VERSION  the release's version (x.y.z), from the CMake project
;   ARCH     i686 (the product: a 32-bit installer into Program Files) or x86_64 (its 64-bit twin)
;   STAGE    the folder with what is installed: the stripped, signed program and its DLLs,
;            certs.bat and Upute.txt
;   OUTFILE  the installer's path
;   ICON     optional: the program's icon, for the installer too
;   SIGN     optional: a command that signs the file named after it in place; the installer and
;            the uninstaller it carries are then signed as they are made
;
; Everything that touches the service, the hosts file, the certificates and the root store is the
; program's own switches; the installer only copies files and writes the usual registry entries.
; Command line: /S silent, /SERVICE=1 installs the service, /D=FOLDER the folder (last, unquoted).
; Uninstaller: /S silent, /PURGE=1 removes the settings folder too; a caller that must wait for
; it adds _?=FOLDER, last and unquoted (the uninstall key's QuietUninstallString has it).

Unicode true
!if "${ARCH}" == "x86_64"
  Target amd64-unicode
  !define DLL_SUFFIX "-x64"
!else
  Target x86-unicode
  !define DLL_SUFFIX ""
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include x64.nsh

!define PRODUCT "Vormetra Proxy"
!define PUBLISHER "Vormetra"
!define EXE "VormetraProxy.exe"
!define SERVICE "VormetraProxyService"
!define UNINSTALLER "Uninstall.exe"
!define CLEANER "VormetraProxy-Cleanup.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VormetraProxy"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; SERVICE_RUNNING, as QueryServiceStatus reports it.
!define SERVICE_RUNNING 4

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ARCH}" == "x86_64"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; Over an earlier installation its folder, unless /D= names another.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} - instalacija"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"

!ifdef SIGN
  !finalize '${SIGN} "%1"' = 0
  !uninstfinalize '${SIGN} "%1"' = 0
!endif

Var WantService
Var ServiceState   ; "" when the service is not installed, else its state (4: running)
Var ServiceCheckbox
Var Purge

!ifdef ICON
  !define MUI_ICON "${ICON}"
!else
  !define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!endif
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Upute.txt"
; NSIS's own Croatian text names a 'Readme'; the file is the instructions.
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Otvori &upute"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom ServicePage ServicePageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Croatian"

; Sets $ServiceState from the service manager: "" when the service is not installed.
!macro QUERY_SERVICE_STATE un
Function ${un}QueryServiceState
  StrCpy $ServiceState ""
  ; SC_MANAGER_CONNECT, then SERVICE_QUERY_STATUS; SERVICE_STATUS is seven DWORDs.
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p.r0'
  StrCmp $0 0 done
  System::Call 'advapi32::OpenServiceW(p r0, w "${SERVICE}", i 4) p.r1'
  StrCmp $1 0 close_manager
  StrCpy $ServiceState 0
  System::Call '*(i, i, i, i, i, i, i) p.r2'
  System::Call 'advapi32::QueryServiceStatus(p r1, p r2) i.r3'
  StrCmp $3 0 +2
  System::Call '*$2(i, i .s)'
  StrCmp $3 0 +2
  Pop $ServiceState
  System::Free $2
  System::Call 'advapi32::CloseServiceHandle(p r1)'
close_manager:
  System::Call 'advapi32::CloseServiceHandle(p r0)'
done:
FunctionEnd
!macroend
!insertmacro QUERY_SERVICE_STATE ""
!insertmacro QUERY_SERVICE_STATE "un."

; Runs the installed program with a switch, its output (a task's failure text) in the details.
!macro RUN_PROGRAM ARGUMENTS
  nsExec::ExecToLog '"$INSTDIR\${EXE}" ${ARGUMENTS}'
  Pop $0
  DetailPrint "${EXE} ${ARGUMENTS}: $0"
!macroend

; Ends every copy of the tray application (and of the program at all), so its files can be
; replaced or removed; the service has been stopped before.
!macro END_PROGRAM
  nsExec::ExecToLog '"$SYSDIR\taskkill.exe" /F /IM ${EXE}'
  Pop $0
  Sleep 500
!macroend

Function .onInit
!if "${ARCH}" == "x86_64"
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Ova instalacija je za 64-bitni Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!endif
  SetShellVarContext all
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SERVICE=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == 1
    StrCpy $WantService 1
  ${EndIf}
FunctionEnd

; Offered only while the service is not installed: an installed one stays as it is.
Function ServicePage
  Call QueryServiceState
  ${If} $ServiceState != ""
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Windows servis" "Način rada programa"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "Kao Windows servis proxy radi i kad nitko nije prijavljen i sam se pokreće s Windowsima. Bez servisa radi dok je program otvoren (ikona pored sata). Servis se kasnije može instalirati i iz programa (Server, Instaliraj servis)."
  Pop $0
  ${NSD_CreateCheckbox} 0 56u 100% 12u "Instaliraj i pokreni servis"
  Pop $ServiceCheckbox
  ${If} $WantService == 1
    ${NSD_Check} $ServiceCheckbox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ServicePageLeave
  ${NSD_GetState} $ServiceCheckbox $0
  StrCpy $WantService 0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $WantService 1
  ${EndIf}
FunctionEnd

Section "Vormetra Proxy"
  SectionIn RO
  ; Over an earlier version: the service stopped (and later started again only if it ran), the
  ; tray application ended. Settings.ini (in ProgramData) and the certificates are not touched.
  Call QueryServiceState
  StrCpy $R9 $ServiceState
  ${If} $R9 == ${SERVICE_RUNNING}
    !insertmacro RUN_PROGRAM "/stop"
  ${EndIf}
  !insertmacro END_PROGRAM

  SetOutPath "$INSTDIR"
  File "${STAGE}\${EXE}"
  File "${STAGE}\libcrypto-3${DLL_SUFFIX}.dll"
  File "${STAGE}\libssl-3${DLL_SUFFIX}.dll"
  File "${STAGE}\certs.bat"
  File "${STAGE}\Upute.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; This machine's own certificates, made only when there are none: a set already there (with
  ; its root perhaps trusted by the tills) is never replaced.
  ${IfNot} ${FileExists} "$INSTDIR\fakeFinaCA.crt"
  ${AndIfNot} ${FileExists} "$INSTDIR\fakeFinaTest.key"
  ${AndIfNot} ${FileExists} "$INSTDIR\fakeFina.key"
    !insertmacro RUN_PROGRAM "/certs"
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE}"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.vormetra.hr"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"

  ${If} $R9 == ${SERVICE_RUNNING}
    !insertmacro RUN_PROGRAM "/start"
  ${ElseIf} $R9 == ""
  ${AndIf} $WantService == 1
    !insertmacro RUN_PROGRAM "/install /silent"
  ${EndIf}
SectionEnd

Function un.onInit
!if "${ARCH}" == "x86_64"
  SetRegView 64
!endif
  SetShellVarContext all
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CLEANUP=" $R1
  ${IfNot} ${Errors}
    Call un.Cleanup
    Quit
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PURGE=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == 1
    StrCpy $Purge 1
  ${EndIf}
FunctionEnd

; The temp folder's copy of an uninstaller that ran in place: waits (at most 30 s) until that
; process, whose id is $R1, has ended, then deletes its file and the folder, and itself at the next
; restart.
Function un.Cleanup
  ; SYNCHRONIZE
  System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i $R1) p.r0'
  ${If} $0 != 0
    System::Call 'kernel32::WaitForSingleObject(p r0, i 30000) i.r1'
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete /REBOOTOK "$EXEPATH"
FunctionEnd

Section "Uninstall"
  Call un.QueryServiceState
  ${If} $ServiceState != ""
    ${If} $ServiceState == ${SERVICE_RUNNING}
      !insertmacro RUN_PROGRAM "/stop"
    ${EndIf}
    !insertmacro RUN_PROGRAM "/uninstall /silent"
  ${EndIf}
  !insertmacro END_PROGRAM
  ; The program changes the hosts file only after it has kept a copy of it beside the settings:
  ; without that copy no line is ours (and /hostremove would first announce the copy in a box).
  ${If} ${FileExists} "$APPDATA\VormetraProxy\hosts"
    !insertmacro RUN_PROGRAM "/hostremove"
  ${EndIf}
  !insertmacro RUN_PROGRAM "/rootremove"

  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\libcrypto-3${DLL_SUFFIX}.dll"
  Delete "$INSTDIR\libssl-3${DLL_SUFFIX}.dll"
  Delete "$INSTDIR\certs.bat"
  Delete "$INSTDIR\Upute.txt"
  Delete "$INSTDIR\fakeFinaCA.crt"
  Delete "$INSTDIR\fakeFinaTest.crt"
  Delete "$INSTDIR\fakeFinaTest.key"
  Delete "$INSTDIR\fakeFina.crt"
  Delete "$INSTDIR\fakeFina.key"
  ; Run in place (_?=, by a caller that waits for it), the uninstaller cannot delete its own file:
  ; a copy of it in the temp folder does, as soon as this process has ended.
  GetFullPathName /SHORT $1 "$EXEDIR"
  GetFullPathName /SHORT $2 "$INSTDIR"
  ${If} $1 == $2
    System::Call 'kernel32::GetCurrentProcessId() i.r3'
    CopyFiles /SILENT "$EXEPATH" "$TEMP\${CLEANER}"
    Exec '"$TEMP\${CLEANER}" /S /CLEANUP=$3 _?=$INSTDIR'
  ${Else}
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
  ${EndIf}

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The settings (and the hosts file's copy beside them) stay for a later installation, unless
  ; the user asks otherwise.
  ${IfNot} ${Silent}
    MessageBox MB_YESNO|MB_DEFBUTTON2 "Obrisati i podešavanja programa ($APPDATA\VormetraProxy)?" IDNO +2
    StrCpy $Purge 1
  ${EndIf}
  ${If} $Purge == 1
    RMDir /r "$APPDATA\VormetraProxy"
  ${EndIf}
SectionEnd
