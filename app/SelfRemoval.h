// Removing Setup after a person's run: its payload files, then Setup.exe and its folder through a
// temporary copy of itself, which waits until this process has ended, deletes Setup.exe and
// removes the folder. The copy's own file is deleted by the system when the copy ends, since it
// was opened with delete-on-close.
#pragma once

#include "framework/AfxString.h"

// Deletes the payload files beside `setupExe` and starts the temporary copy. Nothing is deleted
// when the setup folder lies in the product's own folders (`installBase`), or cannot be told.
void RemoveSetup(const CString& setupExe, const CString& installBase);

// The temporary copy's work, in a process of its own, from its command line: wait for the
// installer to end, then remove it and its folder. Returns the exit code.
int RunCleanupCopy(int argc, char** argv);
