; The Windows setup program: makensis -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<file> setup.nsi
; STAGE is the unpacked Windows archive's folder (64-bit/, 32-bit/, LICENSE).
; Each plug-in format of each architecture is a component; the uninstaller
; removes what the registry says was installed, so that a component left out,
; or a folder the user chose, is handled alike.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
; The release calls it "...-setup.exe", the name users look for, although
; Windows loads its installer compatibility shims into a program so named.
!pragma warning disable 9000

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include Sections.nsh

!define PRODUCT "multichannel_patcher"
!define PUBLISHER "Brindlefox"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlefox multichannel_patcher"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PUBLISHER}\${PRODUCT}"
BrandingText "${PUBLISHER} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} ${VERSION} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "MIT License"

Var Vst2Dir64
Var Vst2Dir32
Var InstalledKiB

!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE"
!insertmacro MUI_PAGE_COMPONENTS

!macro Vst2FolderPage BITS
  !define MUI_PAGE_CUSTOMFUNCTION_PRE SkipVst2Page${BITS}
  !define MUI_PAGE_HEADER_TEXT "VST 2 folder (${BITS}-bit)"
  !define MUI_PAGE_HEADER_SUBTEXT "Where your ${BITS}-bit hosts look for VST 2 plug-ins."
  !define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the ${BITS}-bit VST 2 plug-in into this folder. VST 2 has no one common folder: if your host scans another one, choose that, or add this one in the host's plug-in settings."
  !define MUI_DIRECTORYPAGE_TEXT_DESTINATION "${BITS}-bit VST 2 folder"
  !define MUI_DIRECTORYPAGE_VARIABLE $Vst2Dir${BITS}
  !insertmacro MUI_PAGE_DIRECTORY
!macroend
!insertmacro Vst2FolderPage 64
!insertmacro Vst2FolderPage 32

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; Calls the macro NAME with each component of the group that starts at
; section GROUP.
!macro ForEachComponent GROUP NAME
  IntOp $R9 ${GROUP} + 1
  ${Do}
    SectionGetFlags $R9 $R8
    IntOp $R8 $R8 & ${SF_SECGRPEND}
    ${IfThen} $R8 != 0 ${|} ${ExitDo} ${|}
    !insertmacro ${NAME} $R9
    IntOp $R9 $R9 + 1
  ${Loop}
!macroend

!macro AddSizeIfSelected SECTION
  ${If} ${SectionIsSelected} ${SECTION}
    SectionGetSize ${SECTION} $0
    IntOp $InstalledKiB $InstalledKiB + $0
  ${EndIf}
!macroend

!macro Unavailable SECTION
  !insertmacro SetSectionFlag ${SECTION} ${SF_RO}
  !insertmacro UnselectSection ${SECTION}
!macroend

!macro Chosen SECTION
  !insertmacro SelectSection ${SECTION}
!macroend

!macro NotChosen SECTION
  !insertmacro UnselectSection ${SECTION}
!macroend

; A component: the plug-in ITEM (a file, or a bundle folder that is replaced
; whole) from the archive's FOLDER into TARGET. The uninstall key's values
; "Item.<ID>" hold each installed item, "Folder.<ID>" each folder setup made.
!macro Component ID TITLE FOLDER ITEM TARGET
  Section "${TITLE}" ${ID}
    ${IfNot} ${FileExists} "${TARGET}\*.*"
      WriteRegStr HKLM "${UNINSTALL_KEY}" "Folder.${ID}" "${TARGET}"
    ${EndIf}
    !if /FileExists "${STAGE}/${FOLDER}/${ITEM}/*"
      RMDir /r "${TARGET}\${ITEM}"
      SetOutPath "${TARGET}\${ITEM}"
      File /r "${STAGE}/${FOLDER}/${ITEM}/*"
    !else
      SetOutPath "${TARGET}"
      File "${STAGE}/${FOLDER}/${ITEM}"
    !endif
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Item.${ID}" "${TARGET}\${ITEM}"
  SectionEnd
!macroend

; The previous version's uninstaller first, so that one registry entry and
; one set of files remain.
Section "-previous version"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}
SectionEnd

SectionGroup /e "64-bit, for 64-bit hosts" group64
  !insertmacro Component vst2_64 "VST 2 (64-bit)" 64-bit/vst ${PRODUCT}.dll $Vst2Dir64
  !insertmacro Component vst3_64 "VST 3 (64-bit)" 64-bit/vst3 ${PRODUCT}.vst3 $COMMONFILES64\VST3
  !insertmacro Component clap_64 "CLAP (64-bit)" 64-bit/clap ${PRODUCT}.clap $COMMONFILES64\CLAP
SectionGroupEnd

SectionGroup /e "32-bit, for 32-bit hosts and bridges" group32
  !insertmacro Component vst2_32 "VST 2 (32-bit)" 32-bit/vst ${PRODUCT}.dll $Vst2Dir32
  !insertmacro Component vst3_32 "VST 3 (32-bit)" 32-bit/vst3 ${PRODUCT}.vst3 $COMMONFILES32\VST3
  !insertmacro Component clap_32 "CLAP (32-bit)" 32-bit/clap ${PRODUCT}.clap $COMMONFILES32\CLAP
SectionGroupEnd

Section "-uninstaller"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${GetSize} "$INSTDIR" "/M=uninstall.exe /S=0K /G=0" $InstalledKiB $1 $2
  !insertmacro ForEachComponent ${group64} AddSizeIfSelected
  !insertmacro ForEachComponent ${group32} AddSizeIfSelected
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $InstalledKiB
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

LangString DESC_64 ${LANG_ENGLISH} "The plug-ins for 64-bit hosts, nearly every host of the last ten years."
LangString DESC_32 ${LANG_ENGLISH} "The plug-ins for 32-bit hosts, or for a 64-bit host's bridge for 32-bit plug-ins."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${group64} $(DESC_64)
  !insertmacro MUI_DESCRIPTION_TEXT ${group32} $(DESC_32)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Options for silent installs: /VST2DIR64=<folder>, /VST2DIR32=<folder>, and
; /WITH32, which adds the 32-bit components to the default ones.
Function .onInit
  StrCpy $Vst2Dir64 "$COMMONFILES64\VST2"
  StrCpy $Vst2Dir32 "$COMMONFILES32\VST2"
  ${If} ${RunningX64}
    SetRegView 64
    !insertmacro ForEachComponent ${group32} NotChosen
  ${Else}
    ; No 64-bit host here: the 32-bit components are the defaults.
    !insertmacro ForEachComponent ${group64} Unavailable
    !insertmacro SetSectionFlag ${group64} ${SF_RO}
  ${EndIf}
  ; An update keeps the VST 2 folders chosen before.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" Item.vst2_64
  ${If} $0 != ""
    ${GetParent} $0 $Vst2Dir64
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" Item.vst2_32
  ${If} $0 != ""
    ${GetParent} $0 $Vst2Dir32
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/VST2DIR64=" $0
  ${IfNot} ${Errors}
    StrCpy $Vst2Dir64 $0
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/VST2DIR32=" $0
  ${IfNot} ${Errors}
    StrCpy $Vst2Dir32 $0
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/WITH32" $0
  ${IfNot} ${Errors}
    !insertmacro ForEachComponent ${group32} Chosen
  ${EndIf}
FunctionEnd

Function SkipVst2Page64
  ${IfNot} ${SectionIsSelected} ${vst2_64}
    Abort
  ${EndIf}
FunctionEnd

Function SkipVst2Page32
  ${IfNot} ${SectionIsSelected} ${vst2_32}
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; Removes the item of each "Item." value, then each folder of a "Folder."
; value if it is empty. Only items named after the plug-in are touched, so
; that a damaged entry cannot take anything else.
Section Uninstall
  StrCpy $0 0
  ${Do}
    EnumRegValue $1 HKLM "${UNINSTALL_KEY}" $0
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    IntOp $0 $0 + 1
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" $1
    StrCpy $3 $1 5
    ${GetFileName} $2 $4
    StrCpy $4 $4 21
    ${If} $3 == "Item."
    ${AndIf} $4 == "${PRODUCT}."
      ${If} ${FileExists} "$2\*.*"
        RMDir /r "$2"
      ${Else}
        Delete "$2"
      ${EndIf}
    ${EndIf}
  ${Loop}
  StrCpy $0 0
  ${Do}
    EnumRegValue $1 HKLM "${UNINSTALL_KEY}" $0
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    IntOp $0 $0 + 1
    StrCpy $3 $1 7
    ${If} $3 == "Folder."
      ReadRegStr $2 HKLM "${UNINSTALL_KEY}" $1
      RMDir "$2"
    ${EndIf}
  ${Loop}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd
