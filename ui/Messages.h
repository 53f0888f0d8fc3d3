// Every message Setup shows goes through here.
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/Holders.h"

#include <initializer_list>
#include <string>

// Shows a message box owned by `owner` (nullptr: none), captioned `caption` (nullptr: the
// application's name), in UTF-16, so that names outside the system's code page show as they are.
// The keys and clicks typed while Setup was busy are discarded first, so that only what the
// person does while the message is up answers it. 0 when it cannot be shown.
[[nodiscard]] int ShowMessage(HWND owner, const std::wstring& text, const char* caption, UINT type);
// `format` with its "%s" fields filled in order by `fields`, whole whatever their length.
std::wstring Filled(const std::wstring& format, std::initializer_list<std::wstring> fields);
// The programs `holders` as the person reads them: their names alone, a few, then how many more
// (string 130), separated by `separator`.
std::wstring ProgramNames(const std::vector<Holder>& holders, const wchar_t* separator);
// The file error (string 125): which file stands in the way, the programs that hold it
// (`heldBy`, none when none is known) and the system's reason.
[[nodiscard]] bool ShowFileError(HWND owner, const Result& failure,
                                 const std::vector<Holder>& heldBy);
