// Every message Setup shows goes through here.
#pragma once

#include "framework/AfxFile.h"

#include <initializer_list>
#include <string>

// Shows a message box owned by `owner` (nullptr: none), captioned `caption` (nullptr: the
// application's name). The keys and clicks typed while Setup was busy are discarded first, so
// that only what the person does while the message is up answers it. 0 when it cannot be shown.
[[nodiscard]] int ShowMessage(HWND owner, const char* text, const char* caption, UINT type);
// `format` with its "%s" fields filled in order by `fields`, whole whatever their length.
std::string Filled(const char* format, std::initializer_list<std::string> fields);
// The file error (string 125): which file stands in the way, the programs that hold it
// (`heldBy`, "" when none is known) and the system's reason.
[[nodiscard]] bool ShowFileError(HWND owner, const Result& failure, const std::wstring& heldBy);
