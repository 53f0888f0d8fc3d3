// The message log of the simulated product: one line per message a product window receives,
// "<class> 0x<message> 0x<wParam> 0x<lParam>" in hex, appended and flushed at once.
#pragma once

#include <windows.h>

#include <string>

namespace product {

class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    // Opens `path` for appending, shared for reading, writing and deletion by others.
    bool Open(const std::string& path);
    // Appends one line; safe to call from several threads.
    void Write(const std::string& className, UINT message, WPARAM wParam, LPARAM lParam);
    // Appends a line of text, such as why the product could not start.
    void WriteText(const std::string& text);
    // Closes the log; later writes are dropped, so no line is cut short when the process
    // ends right afterwards.
    void Close();

    // The line Write appends, without its line end.
    static std::string FormatLine(const std::string& className, UINT message, WPARAM wParam,
                                  LPARAM lParam);

private:
    CRITICAL_SECTION lock_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

} // namespace product
