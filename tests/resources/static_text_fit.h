// How the text of a static control fits that control as a dialog shows it. The dialog is made
// from its template by the system's dialog manager in this process, hidden: the manager creates
// the template's font at this process's DPI and turns the control's rectangle from dialog units
// into pixels with the base units of that font, exactly as when Setup.exe shows the dialog.
#pragma once

#include "UiDriver.h"

#include <windows.h>

#include <optional>
#include <string>

namespace textfit {

// What one static needs and has, in pixels.
struct StaticTextFit {
    LOGFONTW font = {};    // the dialog's font, as the dialog manager asked for it
    std::wstring faceUsed; // the face the system gives for it (a stand-in, often)
    SIZE baseUnits = {};   // pixels per 4 horizontal and per 8 vertical dialog units
    SIZE control = {};     // the control's rectangle, turned into pixels with the base units
    SIZE clientArea = {};  // the client area of the control the dialog manager created
    SIZE text = {};        // the text wrapped at the control's width: widest line, all lines
    int lineHeight = 0;    // the height of one line of text
};

// The system's DPI in this process (LOGPIXELSY of the screen), fixed when the process started.
int ProcessDpi();

// The DrawText flags a static of `style` paints its text with; nullopt for a static that shows
// no text (an icon, a picture, a frame).
std::optional<UINT> StaticTextFormat(DWORD style);

// Whether the control is a static that shows its text.
bool IsTextStatic(const uidriver::DialogTemplateItem& control);

// Creates the dialog of `templateBytes` (a classic or extended template) hidden and measures the
// text of its control number `item` (in creation order), which must be a text static; nullopt
// (with a failure recorded) when the dialog cannot be made or the control is not such a static.
std::optional<StaticTextFit> MeasureStatic(const std::string& templateBytes, size_t item);

} // namespace textfit
