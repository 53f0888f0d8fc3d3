// Putting a new file in place of an installed one in one step: the new
// content is written to a temporary file beside it, which one rename then
// moves over the old file. Readers see either the old file or the new one.
#pragma once

#include "framework/AfxString.h"

// Whether `path` carries the read-only attribute. Such a file is not ours to
// replace: a rename over it does not always honour the attribute (Wine run by
// the Unix superuser renames over it).
bool IsReadOnlyFile(const CString& path);

// Moves `temporary` over `destination`, retrying 250 ms apart, `attempts`
// times in all, while another program holds the destination. False when it
// never could; the temporary file is then still there.
bool MoveIntoPlace(const CString& temporary, const CString& destination, int attempts);

// Deletes a temporary file that was not put in place. A copy of a read-only
// file is read-only, and a program that glances at new files (a virus
// scanner, say) may hold it for a moment.
void DiscardTemporary(const CString& temporary);
