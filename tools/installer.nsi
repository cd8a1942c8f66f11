; The Windows installer: both builds on 64-bit Windows (the 64-bit module for
; Explorer, the 32-bit one for 32-bit programs' Open and Save dialogs), the
; 32-bit build alone on 32-bit Windows; an uninstaller listed in Add or Remove
; Programs. Built by tools/package.sh (makensis, defines below).
;   makensis -DX64_DLL=... -DX86_DLL=... -DSIZE_KB=... -DOUTFILE=... installer.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Tolv"
!define VERSION "1.0.0.1"
!define CLSID "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E62}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolv"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
ShowInstDetails nevershow
ShowUninstDetails nevershow
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" ""

Page instfiles
UninstPage instfiles

Var Folder64
Var Folder32

Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
        StrCpy $Folder64 "$PROGRAMFILES64\${PRODUCT}"
        StrCpy $Folder32 "$PROGRAMFILES32\${PRODUCT}"
        StrCpy $INSTDIR $Folder64
    ${Else}
        StrCpy $Folder64 ""
        StrCpy $Folder32 "$PROGRAMFILES\${PRODUCT}"
        StrCpy $INSTDIR $Folder32
    ${EndIf}
FunctionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
        StrCpy $Folder64 "$PROGRAMFILES64\${PRODUCT}"
        StrCpy $Folder32 "$PROGRAMFILES32\${PRODUCT}"
    ${Else}
        StrCpy $Folder64 ""
        StrCpy $Folder32 "$PROGRAMFILES\${PRODUCT}"
    ${EndIf}
FunctionEnd

; A module that a running Explorer holds cannot be overwritten: it is renamed
; out of the way and removed at the next start, the platform's ordinary way.
!macro MoveAsideIfHeld FILE
    ClearErrors
    Delete "${FILE}"
    ${If} ${Errors}
        Delete "${FILE}.old"
        Rename "${FILE}" "${FILE}.old"
        Delete /REBOOTOK "${FILE}.old"
    ${EndIf}
!macroend

; Registers a module; RESULT is regsvr32's exit code, or words saying it
; never ran (ExecWait leaves the variable undefined then).
!macro Register FILE RESULT
    ClearErrors
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s /n /i "${FILE}"' ${RESULT}
    ${If} ${Errors}
        StrCpy ${RESULT} "did not start"
    ${EndIf}
!macroend

; Sets $2 when the view's registration names the folder's module.
!macro IfRegistered FOLDER VIEW
    SetRegView ${VIEW}
    ReadRegStr $3 HKCR "CLSID\${CLSID}\InprocServer32" ""
    SetRegView lastused
    ${If} $3 == "${FOLDER}\Tolv.dll"
        StrCpy $2 1
    ${EndIf}
!macroend

; The uninstaller and its entry in Add or Remove Programs.
!macro Record
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tolv.dll,-117"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
!macroend

; Unregisters both modules quietly (no message box, and no removal scheduled
; for the next logon, since the files go now), then removes them, the
; uninstallers, the folders (with RMDIR's flags) and the entry in Add or
; Remove Programs.
!macro RemoveAll RMDIR
    ${If} $Folder64 != ""
        ${DisableX64FSRedirection}
        ExecWait '"$WINDIR\System32\regsvr32.exe" /s /u /n /i:quiet "$Folder64\Tolv.dll"'
        ${EnableX64FSRedirection}
        !insertmacro MoveAsideIfHeld "$Folder64\Tolv.dll"
        Delete "$Folder64\uninstall.exe"
        RMDir ${RMDIR} $Folder64
    ${EndIf}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s /u /n /i:quiet "$Folder32\Tolv.dll"'
    !insertmacro MoveAsideIfHeld "$Folder32\Tolv.dll"
    Delete "$Folder32\uninstall.exe"
    RMDir ${RMDIR} $Folder32
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; Takes back whatever a failed installation did: the registrations (quietly,
; as the uninstaller does) and the files. A failed upgrade has already
; replaced the modules of the installation before it, so its uninstaller
; and its entry in Add or Remove Programs go too. But where a regsvr32 did
; not start, the registration before that it would take back stays, naming
; a module here: then the installation stays whole, registrations, files,
; uninstaller and entry, rather than a registration naming a file that is
; gone or one module unregistered beside the other. $2 tells which.
!macro TakeBack
    StrCpy $2 ""
    ${If} $0 == "did not start"
        !insertmacro IfRegistered $Folder64 64
    ${EndIf}
    ${If} $1 == "did not start"
        !insertmacro IfRegistered $Folder32 32
    ${EndIf}
    ${If} $2 == ""
        !insertmacro RemoveAll ""
    ${Else}
        !insertmacro Record
    ${EndIf}
!macroend

Section "Install"
    SetOverwrite on
    StrCpy $0 0
    ${If} $Folder64 != ""
        SetOutPath $Folder64
        !insertmacro MoveAsideIfHeld "$Folder64\Tolv.dll"
        File "/oname=Tolv.dll" "${X64_DLL}"
        ${DisableX64FSRedirection}
        !insertmacro Register "$Folder64\Tolv.dll" $0
        ${EnableX64FSRedirection}
    ${EndIf}
    SetOutPath $Folder32
    !insertmacro MoveAsideIfHeld "$Folder32\Tolv.dll"
    File "/oname=Tolv.dll" "${X86_DLL}"
    ; The 32-bit regsvr32 (SysWOW64 on 64-bit Windows, where System32 points
    ; there for this 32-bit installer) registers in the 32-bit view.
    !insertmacro Register "$Folder32\Tolv.dll" $1
    ; A module that could not be registered is no installation: nothing of
    ; it stays, and the installer says so and fails, silent or not.
    ${If} $0 != 0
    ${OrIf} $1 != 0
        SetOutPath $TEMP
        !insertmacro TakeBack
        ${If} $2 == ""
            MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be registered (regsvr32: $0; $1). Nothing was installed." /SD IDOK
        ${Else}
            MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be registered (regsvr32: $0; $1), nor could the registration before it be taken back: it stays installed, to be removed in Add or Remove Programs." /SD IDOK
        ${EndIf}
        SetErrorLevel 2
        Abort
    ${EndIf}

    !insertmacro Record
SectionEnd

Section "Uninstall"
    ; A module held by a running Explorer goes at the next start, its folder with it.
    !insertmacro RemoveAll /REBOOTOK
    DeleteRegKey HKLM "Software\Varnel"
    ; A user's own tick, kept where the machine's setting could not be written.
    DeleteRegKey HKCU "Software\Varnel"
SectionEnd
