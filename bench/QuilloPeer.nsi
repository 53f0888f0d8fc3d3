; The benchmark's peer: an NSIS installer doing the nearest equivalent of Setup's upgrade, for
; the timings side by side (bench/PeerBench.cpp, bench/StartupBench.cpp). Built by the CMake
; target QuilloPeer (bench/CMakeLists.txt) with makensis, twice:
;   makensis -DOUTFILE=<exe> QuilloPeer.nsi            copies, no flush
;   makensis -DOUTFILE=<exe> -DFLUSH QuilloPeer.nsi    each copy, and the new list, flushed
; Run with /S it works silently:
;   - reads HKLM "Software\Morvane\Quillo\system\installinfo" CurrentVersion (must be 4.501,
;     else exit code 1602) and BasePath;
;   - replaces each of the nine payload files below BasePath with the file of the same name in
;     its own folder when that file is newer (last-write times compared whole, as
;     "SetOverwrite ifnewer" compares them); the copy is NSIS's CopyFiles (the shell's file
;     copy); with FLUSH, each copy is then opened and FlushFileBuffers called on it through the
;     System plug-in (NSIS has no flush of its own);
;   - adds the entry Setup adds to <BasePath>\QuilloHub\modlist.ini, as Setup writes it: the
;     16-byte prefix kept, the count after it raised by one in a new header, the body from the
;     "[LIST]" line kept, "name<N>=<ProductInfo>" and "url<N>=Pack07up02.exe" appended; the new
;     list is written beside the old one (flushed with FLUSH) and moved over it
;     (MoveFileEx, replacing, write-through);
;   - writes a short log, %TEMP%\QuilloPeer.log, and exits 0 (1603 when a step fails).
; Started without /S it shows its licence page first: the window the start-up is timed to.
Unicode true
!include LogicLib.nsh
Name "Quillo"
OutFile "${OUTFILE}"
RequestExecutionLevel user
SetCompressor zlib
XPStyle on
ShowInstDetails nevershow
LicenseData "QuilloPeer-licence.txt"
Page license
Page instfiles

!define INSTALL_INFO "Software\Morvane\Quillo\system\installinfo"
!define ENTRY "Pack07up02.exe"

Var Base
Var Log

; Fails the run: the reason goes to the log, the exit code is 1603.
!macro Fail WHY
    FileWrite $Log "failed: ${WHY}$\r$\n"
    FileClose $Log
    SetErrorLevel 1603
    Quit
!macroend
!define Fail "!insertmacro Fail"

; Flushes the file named by $R9 to the disk (FLUSH only); fails the run when it cannot.
Function FlushNamed
!ifdef FLUSH
    ; GENERIC_WRITE, no sharing, OPEN_EXISTING
    System::Call 'kernel32::CreateFileW(w R9, i 0x40000000, i 0, p 0, i 3, i 0, p 0) p.R8'
    System::Call 'kernel32::FlushFileBuffers(p R8) i.R7'
    System::Call 'kernel32::CloseHandle(p R8)'
    ${If} $R7 = 0
        ${Fail} "flush of $R9"
    ${EndIf}
!endif
FunctionEnd

; Replaces $Base\<folder>\<name> with $EXEDIR\<name> when the payload file is newer.
!macro Replace FOLDER NAME
    StrCpy $R0 "$EXEDIR\${NAME}"
    StrCpy $R1 "$Base${FOLDER}"
    StrCpy $R9 "$R1\${NAME}"
    Call ReplaceIfNewer
!macroend

; $R0 the payload file, $R1 the destination's folder, $R9 the destination.
Function ReplaceIfNewer
    ClearErrors
    GetFileTime $R0 $R2 $R3
    ${If} ${Errors}
        ${Fail} "no payload file $R0"
    ${EndIf}
    IfFileExists $R9 0 copy
    GetFileTime $R9 $R4 $R5
    ; the high parts first, then the low ones, both unsigned
    IntCmpU $R2 $R4 0 same copy
    IntCmpU $R3 $R5 same same copy
copy:
    ClearErrors
    CopyFiles /SILENT $R0 $R1
    ${If} ${Errors}
        ${Fail} "copy of $R0 to $R1"
    ${EndIf}
    Call FlushNamed
    FileWrite $Log "replaced $R9$\r$\n"
    Return
same:
    FileWrite $Log "up to date $R9$\r$\n"
FunctionEnd

; Adds the entry to the list, as Setup writes it.
Function Register
    StrCpy $R9 "$Base\QuilloHub\modlist.ini"
    StrCpy $R6 "$R9.peer"
    ReadRegStr $R1 HKLM "${INSTALL_INFO}" "ProductInfo"
    ClearErrors
    FileOpen $R2 $R9 r
    ${If} ${Errors}
        ${Fail} "cannot open $R9"
    ${EndIf}
    ; The count: the number at the start of the text after the prefix.
    FileSeek $R2 16 SET
    FileRead $R2 $R3
    IntOp $R3 $R3 + 1
    ; The body starts at the line that starts with [LIST] (after the prefix when there is none).
    StrCpy $R4 16
find:
    FileSeek $R2 0 CUR $R5
    ClearErrors
    FileRead $R2 $R0
    IfErrors found
    StrCpy $R0 $R0 6
    StrCmp $R0 "[LIST]" 0 find
    StrCpy $R4 $R5
found:
    ClearErrors
    FileOpen $R7 $R6 w
    ${If} ${Errors}
        ${Fail} "cannot write $R6"
    ${EndIf}
    ; The prefix, byte by byte (it holds zero bytes).
    FileSeek $R2 0 SET
    StrCpy $R5 0
prefix:
    FileReadByte $R2 $R0
    FileWriteByte $R7 $R0
    IntOp $R5 $R5 + 1
    IntCmp $R5 16 0 prefix
    FileWrite $R7 "$R3$\r$\n$\r$\n                         $\r$\n$\r$\n"
    FileSeek $R2 $R4 SET
body:
    ClearErrors
    FileRead $R2 $R0
    IfErrors ended
    FileWrite $R7 $R0
    Goto body
ended:
    FileClose $R2
    FileWrite $R7 "$\r$\n$\r$\nname$R3=$R1$\r$\nurl$R3=${ENTRY}$\r$\n"
!ifdef FLUSH
    System::Call 'kernel32::FlushFileBuffers(p R7) i.R0'
    ${If} $R0 = 0
        ${Fail} "flush of $R6"
    ${EndIf}
!endif
    FileClose $R7
    ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
    System::Call 'kernel32::MoveFileExW(w R6, w R9, i 9) i.R0'
    ${If} $R0 = 0
        ${Fail} "cannot move $R6 over $R9"
    ${EndIf}
    FileWrite $Log "registered ${ENTRY} as entry $R3$\r$\n"
FunctionEnd

Section
    FileOpen $Log "$TEMP\QuilloPeer.log" w
    FileWrite $Log "Quillo peer$\r$\n"
    ReadRegStr $R0 HKLM "${INSTALL_INFO}" "CurrentVersion"
    ReadRegStr $Base HKLM "${INSTALL_INFO}" "BasePath"
    ${If} $R0 != "4.501"
        FileWrite $Log "not the product: version $R0$\r$\n"
        FileClose $Log
        SetErrorLevel 1602
        Quit
    ${EndIf}
    FileWrite $Log "install base $Base$\r$\n"
    !insertmacro Replace "\tindict" "qdlg.dll"
    !insertmacro Replace "" "QuilloRes.dll"
    !insertmacro Replace "\tindict" "lexview.exe"
    !insertmacro Replace "\QuilloSA\QuilloTTS" "QuVoiceS.dll"
    !insertmacro Replace "\QuilloSA\QuilloTTS" "QuVoiceT.dll"
    !insertmacro Replace "\tindict" "Zxlook.exe"
    !insertmacro Replace "\tindict" "Aux001.dll"
    !insertmacro Replace "\QuilloMT" "Qutrans.dll"
    !insertmacro Replace "\QuilloSA" "QuilloSA.dll"
    Call Register
    FileWrite $Log "done$\r$\n"
    FileClose $Log
SectionEnd
