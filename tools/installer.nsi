; The Windows installer: both builds on 64-bit Windows (the 64-bit module for
; Explorer, the 32-bit one for 32-bit programs' Open and Save dialogs), the
; 32-bit build alone on 32-bit Windows; an uninstaller listed in Add or Remove
; Programs; each build's Tolv.exe beside its module, with a Start-menu
; shortcut. On Windows 11 it registers the sparse package (Tolv.msix, with
; the installation folder as its external location) for the first-level
; menu; where that fails the classic menu serves alone. Made by
; tools/assemble.sh from the folders it fills (defines below); with SIGN,
; the command that signs a file, the installer and its uninstaller are signed.
;   makensis -DX64_DIR=... -DX86_DIR=... -DPACKAGE_DIR=... -DVERSION=... -DSIZE_KB=... -DOUTFILE=... [-DSIGN=...] installer.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Tolv"
!define CLSID "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E62}"
!define COMMAND_CLSID "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E63}"
!define LIBID "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E60}"
!define IID "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E61}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolv"
!define PACKAGE "Tolv"
; The 64-bit PowerShell, which has the package cmdlets (file system
; redirection off), with no profile and no prompt.
!define POWERSHELL '"$WINDIR\System32\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command'

!ifdef SIGN
    !finalize '${SIGN} "%1"'
    !uninstfinalize '${SIGN} "%1"'
!endif

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
; Where the previous installation's modules wait while the new ones go in,
; empty where there was none.
Var Aside64
Var Aside32

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

; Moves an installed module to a name of its own beside it (a running
; Explorer holds it, but lets it be renamed), so that the new module can take
; its name and the old one can return if the installation fails. A program
; that holds it without letting it be deleted (a scanner, a backup) lets it
; neither be renamed nor overwritten: the error flag is set then, and nothing
; has changed.
!macro SetAside FOLDER ASIDE
    StrCpy ${ASIDE} ""
    ClearErrors
    ${If} ${FileExists} "${FOLDER}\Tolv.dll"
        GetTempFileName ${ASIDE} "${FOLDER}"
        Delete ${ASIDE}
        Rename "${FOLDER}\Tolv.dll" ${ASIDE}
        ${If} ${Errors}
            StrCpy ${ASIDE} ""
            SetErrors
        ${EndIf}
    ${EndIf}
!macroend

; Takes back a module put in place of one set aside: the new one goes, the
; old one returns to its name.
!macro PutBack FOLDER ASIDE
    Delete "${FOLDER}\Tolv.dll"
    ${If} ${ASIDE} != ""
        Rename ${ASIDE} "${FOLDER}\Tolv.dll"
        StrCpy ${ASIDE} ""
    ${EndIf}
!macroend

; The old modules, once the new ones are registered or their registration
; taken back; one that Explorer still holds goes at the next start.
!macro DiscardAside
    ${If} $Aside64 != ""
        Delete /REBOOTOK $Aside64
    ${EndIf}
    ${If} $Aside32 != ""
        Delete /REBOOTOK $Aside32
    ${EndIf}
!macroend

; Takes back the files of an installation stopped before it registered
; anything: the new modules go, the ones set aside return, and the folders
; go where they were made for it. $Aside32 "held" tells that the 32-bit
; module was never set aside, and stays as it is.
!macro TakeBackFiles
    SetOutPath $TEMP
    ${If} $Folder64 != ""
        !insertmacro PutBack $Folder64 $Aside64
        RMDir $Folder64
    ${EndIf}
    ${If} $Aside32 != "held"
        !insertmacro PutBack $Folder32 $Aside32
        RMDir $Folder32
    ${EndIf}
!macroend

; Fails the installation, silent or not, with a message and a non-zero exit code.
!macro Fail MESSAGE
    SetOutPath $TEMP
    MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
    SetErrorLevel 2
    Abort
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

; Every key that an installation or its modules' registration writes, the
; current user's tick included (kept where the machine's setting could not be
; written): MACRO runs on each, as ROOT KEY. A key added to the installation
; or to the registration script belongs here too, so that the uninstaller
; removes it even where no module is left to unregister itself.
!macro ForEachKey MACRO
    !insertmacro ${MACRO} HKLM "Software\Classes\Folder\ShellEx\ContextMenuHandlers\Tolv"
    !insertmacro ${MACRO} HKLM "Software\Classes\CLSID\${CLSID}"
    !insertmacro ${MACRO} HKLM "Software\Classes\CLSID\${COMMAND_CLSID}"
    !insertmacro ${MACRO} HKLM "Software\Classes\Tolv.Quilby"
    !insertmacro ${MACRO} HKLM "Software\Classes\Tolv.Quilby.1"
    !insertmacro ${MACRO} HKLM "Software\Classes\TypeLib\${LIBID}"
    !insertmacro ${MACRO} HKLM "Software\Classes\Interface\${IID}"
    !insertmacro ${MACRO} HKLM "Software\Varnel"
    !insertmacro ${MACRO} HKCU "Software\Varnel"
!macroend

; Runs MACRO on ROOT KEY in each registry view there is: the 32-bit modules
; register in the 32-bit one, the 64-bit ones in the 64-bit one, and which
; keys the two views share differs between Windows versions.
!macro InEachView MACRO ROOT KEY
    ${If} $Folder64 != ""
        SetRegView 64
        !insertmacro ${MACRO} ${ROOT} "${KEY}"
        SetRegView 32
        !insertmacro ${MACRO} ${ROOT} "${KEY}"
        SetRegView 64
    ${Else}
        !insertmacro ${MACRO} ${ROOT} "${KEY}"
    ${EndIf}
!macroend

!macro DeleteKey ROOT KEY
    DeleteRegKey ${ROOT} "${KEY}"
!macroend
!macro DeleteKeyInEachView ROOT KEY
    !insertmacro InEachView DeleteKey ${ROOT} "${KEY}"
!macroend

; Adds KEY to $R1 where it is still there.
!macro NoteKeyLeft ROOT KEY
    ClearErrors
    EnumRegKey $R0 ${ROOT} "${KEY}" 0
    ${IfNot} ${Errors}
        StrCpy $R1 "$R1$\r$\n${ROOT}\${KEY}"
    ${EndIf}
!macroend
!macro NoteKeyLeftInEachView ROOT KEY
    !insertmacro InEachView NoteKeyLeft ${ROOT} "${KEY}"
!macroend

; Unregisters both modules quietly (no message box, and no removal scheduled
; for the next logon, since the files go now) and removes, in both views,
; every key that the installation and the registration wrote, whether or not
; the modules were there to unregister.
!macro Unregister
    ${If} $Folder64 != ""
        ${DisableX64FSRedirection}
        ExecWait '"$WINDIR\System32\regsvr32.exe" /s /u /n /i:quiet "$Folder64\Tolv.dll"'
        ${EnableX64FSRedirection}
    ${EndIf}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s /u /n /i:quiet "$Folder32\Tolv.dll"'
    !insertmacro ForEachKey DeleteKeyInEachView
!macroend

; The files beside a module: its program, and in the 64-bit folder the
; package, its logos and the install log.
!macro RemoveCompanions FOLDER
    !insertmacro MoveAsideIfHeld "${FOLDER}\Tolv.exe"
    Delete "${FOLDER}\Tolv.msix"
    Delete "${FOLDER}\install.log"
    Delete "${FOLDER}\Assets\StoreLogo.png"
    Delete "${FOLDER}\Assets\Square150x150Logo.png"
    Delete "${FOLDER}\Assets\Square44x44Logo.png"
    RMDir "${FOLDER}\Assets"
!macroend

; Removes the modules, their companions, the shortcut, the uninstallers and
; the folders (with RMDIR's flags).
!macro RemoveFiles RMDIR
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ${If} $Folder64 != ""
        !insertmacro MoveAsideIfHeld "$Folder64\Tolv.dll"
        !insertmacro RemoveCompanions $Folder64
        Delete "$Folder64\uninstall.exe"
        RMDir ${RMDIR} $Folder64
    ${EndIf}
    !insertmacro MoveAsideIfHeld "$Folder32\Tolv.dll"
    !insertmacro RemoveCompanions $Folder32
    Delete "$Folder32\uninstall.exe"
    RMDir ${RMDIR} $Folder32
!macroend

; $R0: the Windows build, from the 64-bit view (0 where it cannot be read).
!macro WindowsBuild
    SetRegView 64
    ReadRegStr $R0 HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion" "CurrentBuildNumber"
    SetRegView lastused
    IntOp $R0 $R0 + 0
!macroend

; Runs a PowerShell command: $R2 is its exit code ("error" where it never
; ran), $R3 what it printed.
!macro PowerShell COMMAND
    ${DisableX64FSRedirection}
    nsExec::ExecToStack `${POWERSHELL} "${COMMAND}"`
    Pop $R2
    Pop $R3
    ${EnableX64FSRedirection}
!macroend

; The package of the calling user goes: at uninstallation, and before an
; upgrade registers the new one.
!macro RemovePackage
    !insertmacro PowerShell "Get-AppxPackage -Name ${PACKAGE} | Remove-AppxPackage"
!macroend

; On Windows 11 (build 22000 on), the package that puts the command into
; the first-level menu, registered with the installation folder as its
; external location. The command says "registered" only once the package
; is there: a PowerShell that does nothing (Wine's) must not pass for one
; that registered it. Whatever happens goes to the install log; a failure
; leaves the classic menu, which stays registered everywhere, and the
; installation goes on.
!macro RegisterPackage
    ClearErrors
    FileOpen $R9 "$INSTDIR\install.log" w
    !insertmacro WindowsBuild
    ${If} $Folder64 == ""
    ${OrIf} $R0 < 22000
        FileWrite $R9 "Windows build $R0: no package registered; the classic menu serves.$\r$\n"
    ${Else}
        !insertmacro RemovePackage
        !insertmacro PowerShell "Add-AppxPackage -Path '$Folder64\Tolv.msix' -ExternalLocation '$Folder64' -ErrorAction Stop; if (Get-AppxPackage -Name ${PACKAGE}) { 'registered' } else { exit 3 }"
        StrCpy $R4 $R3 10
        ${If} $R2 == 0
        ${AndIf} $R4 == "registered"
            FileWrite $R9 "Windows build $R0: the package is registered for the first-level menu.$\r$\n"
        ${Else}
            FileWrite $R9 "Windows build $R0: the package could not be registered (PowerShell: $R2); the classic menu serves.$\r$\n$R3$\r$\n"
        ${EndIf}
    ${EndIf}
    FileClose $R9
!macroend

; Adds FILE to $R1 where it is still there.
!macro NoteFileLeft FILE
    ${If} ${FileExists} "${FILE}"
        StrCpy $R1 "$R1$\r$\n${FILE}"
    ${EndIf}
!macroend

!macro RemoveAll RMDIR
    !insertmacro Unregister
    !insertmacro RemoveFiles "${RMDIR}"
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
    ; A file that cannot be written sets the error flag, rather than a box
    ; whose silent answer is to skip it.
    SetOverwrite try
    StrCpy $0 0
    StrCpy $1 0

    ; The installation before stays as it is until both of its modules are
    ; out of the way.
    ${If} $Folder64 != ""
        SetOutPath $Folder64
        !insertmacro SetAside $Folder64 $Aside64
        ${If} ${Errors}
            !insertmacro Fail "${PRODUCT} could not be installed: $Folder64\Tolv.dll is in use by another program that does not let it be replaced. Nothing was changed; close that program and run the setup again."
        ${EndIf}
    ${EndIf}
    SetOutPath $Folder32
    !insertmacro SetAside $Folder32 $Aside32
    ${If} ${Errors}
        StrCpy $Aside32 "held"
        !insertmacro TakeBackFiles
        !insertmacro Fail "${PRODUCT} could not be installed: $Folder32\Tolv.dll is in use by another program that does not let it be replaced. Nothing was changed; close that program and run the setup again."
    ${EndIf}

    ClearErrors
    ${If} $Folder64 != ""
        SetOutPath $Folder64
        File "/oname=Tolv.dll" "${X64_DIR}/Tolv.dll"
    ${EndIf}
    SetOutPath $Folder32
    File "/oname=Tolv.dll" "${X86_DIR}/Tolv.dll"
    ${If} ${Errors}
        !insertmacro TakeBackFiles
        !insertmacro Fail "${PRODUCT} could not be installed: its files could not be written. Nothing was changed."
    ${EndIf}

    ${If} $Folder64 != ""
        ${DisableX64FSRedirection}
        !insertmacro Register "$Folder64\Tolv.dll" $0
        ${EnableX64FSRedirection}
    ${EndIf}
    ; The 32-bit regsvr32 (SysWOW64 on 64-bit Windows, where System32 points
    ; there for this 32-bit installer) registers in the 32-bit view.
    !insertmacro Register "$Folder32\Tolv.dll" $1
    !insertmacro DiscardAside
    ; A module that could not be registered is no installation: nothing of
    ; it stays, and the installer says so and fails, silent or not.
    ${If} $0 != 0
    ${OrIf} $1 != 0
        SetOutPath $TEMP
        !insertmacro TakeBack
        ${If} $2 == ""
            !insertmacro Fail "${PRODUCT} could not be registered (regsvr32: $0; $1). Nothing was installed."
        ${Else}
            !insertmacro Fail "${PRODUCT} could not be registered (regsvr32: $0; $1), nor could the registration before it be taken back: it stays installed, to be removed in Add or Remove Programs."
        ${EndIf}
    ${EndIf}

    ; The programs, the package and the shortcut, once the modules are
    ; registered: whatever fails from here on takes all of it back.
    ${If} $Folder64 != ""
        !insertmacro MoveAsideIfHeld "$Folder64\Tolv.exe"
    ${EndIf}
    !insertmacro MoveAsideIfHeld "$Folder32\Tolv.exe"
    ClearErrors
    ${If} $Folder64 != ""
        SetOutPath $Folder64
        File "/oname=Tolv.exe" "${X64_DIR}/Tolv.exe"
        File "/oname=Tolv.msix" "${PACKAGE_DIR}/Tolv.msix"
        SetOutPath "$Folder64\Assets"
        File "${PACKAGE_DIR}/Assets/*.png"
    ${EndIf}
    SetOutPath $Folder32
    File "/oname=Tolv.exe" "${X86_DIR}/Tolv.exe"
    SetOutPath $INSTDIR
    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Tolv.exe"
    !insertmacro Record
    ${If} ${Errors}
        SetOutPath $TEMP
        !insertmacro RemoveAll ""
        !insertmacro Fail "${PRODUCT} could not be installed: its files, its uninstaller or its entry in Add or Remove Programs could not be written. Nothing was installed."
    ${EndIf}
    !insertmacro RegisterPackage
SectionEnd

Section "Uninstall"
    ${If} $Folder64 != ""
        !insertmacro WindowsBuild
        ${If} $R0 >= 22000
            !insertmacro RemovePackage
        ${EndIf}
    ${EndIf}
    !insertmacro Unregister
    StrCpy $R1 ""
    !insertmacro ForEachKey NoteKeyLeftInEachView
    ${If} $R1 == ""
        ; A module held by a running Explorer goes at the next start, its folder with it.
        !insertmacro RemoveFiles /REBOOTOK
        ${If} $Folder64 != ""
            !insertmacro NoteFileLeft "$Folder64\Tolv.dll"
            !insertmacro NoteFileLeft "$Folder64\uninstall.exe"
        ${EndIf}
        !insertmacro NoteFileLeft "$Folder32\Tolv.dll"
        !insertmacro NoteFileLeft "$Folder32\uninstall.exe"
        !insertmacro NoteFileLeft "$Folder32\Tolv.exe"
        ${If} $Folder64 != ""
            !insertmacro NoteFileLeft "$Folder64\Tolv.exe"
        ${EndIf}
    ${EndIf}
    ; While anything stays, so does the entry in Add or Remove Programs, to
    ; run the uninstaller again.
    ${If} $R1 == ""
        DeleteRegKey HKLM "${UNINSTALL_KEY}"
        !insertmacro NoteKeyLeft HKLM "${UNINSTALL_KEY}"
    ${EndIf}
    ${If} $R1 != ""
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be removed completely; once nothing uses it, uninstall it again:$R1" /SD IDOK
        SetErrorLevel 2
    ${ElseIf} ${RebootFlag}
        ; The convention of Windows installers for "done once Windows restarts".
        MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is removed; what a running program still uses goes when Windows restarts." /SD IDOK
        SetErrorLevel 3010
    ${EndIf}
SectionEnd
