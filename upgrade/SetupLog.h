// The log of an unattended run, for the administrator who deployed it: QuilloSetup.log in the
// temporary folder of the account that runs Setup, appended to by every unattended run. It is
// UTF-8 with a byte-order mark, so that Notepad shows every path whatever the code page, with a
// line per event and its local time. A log grown past 1 MiB is kept as QuilloSetup.old.log (in
// place of an older one) and a new one begun: it never grows without end.
#pragma once

#include "framework/AfxString.h"
#include "framework/Handles.h"

#include <string>

class SetupLog {
public:
    // Opens the log when `open`; without a temporary folder there is none, and lines go nowhere.
    // While it is open, a fatal end of Setup writes its last line.
    explicit SetupLog(bool open);
    ~SetupLog();
    // Appends a line of 8-bit text in the system's code page.
    void Line(const CString& text);
    // Appends a line of UTF-16 text.
    void Line(const std::wstring& text);

private:
    // The last line of a fatal end, written without allocating memory.
    static void NoteFatalEnd();

    FileHandle m_file;
};
