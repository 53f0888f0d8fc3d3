// The log of a run, for the administrator who deployed Setup and for support: a new file for every
// run, QuilloSetup-YYYYMMDD-hhmmss-N.log in Setup's log folder (the newest ten kept), or the file
// that /log names. Setup's log folder is %WINDIR%\Logs\QuilloSetup for an elevated run (as Setup
// always is: only administrators write there), the temporary folder of the account otherwise. It
// is UTF-8 with a byte-order mark, so that Notepad shows every path whatever the code page, then
// Setup's header line, then a line per event with its local time.
//
// The log is only ever a file Setup has just made: a file, a folder or a link that someone put
// under its name beforehand is never opened, followed or written to.
#pragma once

#include "framework/AfxFile.h"
#include "framework/AfxString.h"
#include "framework/Handles.h"

#include <string>

class SetupLog {
public:
    // A log that writes nowhere, until it is opened.
    SetupLog() = default;
    ~SetupLog();
    SetupLog(const SetupLog&) = delete;
    SetupLog& operator=(const SetupLog&) = delete;

    // Begins the log: a new file named `file`, or (when that name is taken) `file`.2 to `file`.99;
    // without `file`, a new file of Setup's own naming in Setup's log folder (the run's number
    // goes on to 999 while names are taken), and Setup's older logs there deleted. While it is
    // open, a fatal end of Setup writes its last line. The failure says which file (or, without
    // `file`, which folder) could not be made and why: a `file` that RefusedLogName refuses, as
    // ERROR_INVALID_NAME, is never tried. Without a file, lines go nowhere.
    Result Open(const std::wstring& file);
    // Appends a line of 8-bit text in the system's code page.
    void Line(const CString& text);
    // Appends a line of UTF-16 text.
    void Line(const std::wstring& text);
    // Appends `what`, then the file (or library) of `why` and the system's reason, "" for none.
    void Line(const char* what, const Result& why);

    // Whether the log `file` would lie in the product's own folders (`installBase`, or below it),
    // where nothing is Setup's but what the upgrade puts there: its folder as the file system
    // sees it (any spelling, a link to it). A folder the 8-bit functions cannot name counts as
    // lying there, since it cannot be told.
    [[nodiscard]] static bool LiesInTree(const std::wstring& file, const CString& installBase);

private:
    // The last line of a fatal end, written without allocating memory.
    static void NoteFatalEnd();

    FileHandle m_file;
};

// Writes `text` as one line on the standard error stream, when whoever started Setup gave it one
// (a program of the GUI subsystem has one only when its starter redirected it); no console is made.
void TellStandardError(const std::wstring& text);
