// The log of a run, for the administrator who deployed Setup and for support: a new file for every
// run, QuilloSetup-YYYYMMDD-hhmmss-N.log in the temporary folder of the account that runs Setup
// (the newest ten kept), or the file that /log names. It is UTF-8 with a byte-order mark, so that
// Notepad shows every path whatever the code page, with a line per event and its local time.
//
// The log is only ever a file Setup has just made: a file, a folder or a link that someone put
// under its name beforehand is never opened, followed or written to.
#pragma once

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
    // without `file`, a new file of Setup's own naming in the temporary folder. While it is open,
    // a fatal end of Setup writes its last line. Without a file, lines go nowhere.
    void Open(const std::wstring& file);
    // Appends a line of 8-bit text in the system's code page.
    void Line(const CString& text);
    // Appends a line of UTF-16 text.
    void Line(const std::wstring& text);

private:
    // The last line of a fatal end, written without allocating memory.
    static void NoteFatalEnd();

    FileHandle m_file;
};
