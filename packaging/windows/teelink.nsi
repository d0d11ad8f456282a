; The Windows installer: teelink.exe and teelink-cli.exe under Program Files
; with the licence and the notices of the libraries linked into them, a
; start-menu entry, and an uninstaller registered with Windows.
; makensis -DVERSION=1.0.0.3 -DBUILD_DIR=... -DSOURCE_DIR=... -DOUT_FILE=... teelink.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "x64.nsh"

Name "Teelink"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Teelink"
InstallDirRegKey HKLM "Software\Teelink" "InstallDir"
BrandingText "Teelink ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Teelink"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Teelink installer"
VIAddVersionKey /LANG=1033 "CompanyName" "Zorvik"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Zorvik"

!define MUI_ICON "${SOURCE_DIR}/resources/icons/teelink.ico"
!define MUI_UNICON "${SOURCE_DIR}/resources/icons/teelink.ico"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Teelink"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\teelink.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Teelink needs 64-bit Windows."
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Teelink" SecMain
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "${BUILD_DIR}/teelink.exe"
    File "${BUILD_DIR}/cli/teelink-cli.exe"
    File "${SOURCE_DIR}/resources/icons/teelink.ico"
    File "/oname=LICENSE.txt" "${SOURCE_DIR}/LICENSE"
    File "${SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$SMPROGRAMS\Teelink"
    CreateShortcut "$SMPROGRAMS\Teelink\Teelink.lnk" "$INSTDIR\teelink.exe" "" "$INSTDIR\teelink.ico"
    CreateShortcut "$SMPROGRAMS\Teelink\Uninstall Teelink.lnk" "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "Software\Teelink" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Teelink"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zorvik"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\teelink.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\teelink.exe"
    Delete "$INSTDIR\teelink-cli.exe"
    Delete "$INSTDIR\teelink.ico"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Teelink\Teelink.lnk"
    Delete "$SMPROGRAMS\Teelink\Uninstall Teelink.lnk"
    RMDir "$SMPROGRAMS\Teelink"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Teelink"
SectionEnd
