// Removing Setup after a person's run: its payload files, then Setup.exe and its folder through a
// temporary copy of itself, which waits until this process has ended, deletes Setup.exe and
// removes the folder. The copy's own file is deleted by the system when the copy ends, since it
// was opened with delete-on-close.
#pragma once

#include "framework/AfxFile.h"
#include "framework/Handles.h"

#include <string>

// Setup.exe held open for reading from the start of the run, so that no other program can change,
// rename or replace it before the temporary copy is made from it; empty when it cannot be.
FileHandle HoldOwnProgram(const CString& setupExe);

// Whether the folder of `setupExe` is Setup's to remove: it can be told, and it does not lie in the
// product's own folders (`installBase`), whose files are the product's.
[[nodiscard]] bool MayRemoveSetupFolder(const CString& setupExe, const CString& installBase);
// Deletes the payload files in `setupFolder`. The failure names a payload file refused as not a
// plain file (a link, a folder); one that cannot be deleted (held by another program) stays, as
// the folder does.
Result RemovePayload(const CString& setupFolder);
// Starts the temporary copy, made from `program` (Setup.exe held since the start), that removes
// `setupExe` and its folder once this process has ended. The failure names what stood in the way.
Result StartSelfRemoval(const CString& setupExe, HANDLE program);

// Why a command line of the clean-up copy's form is not one that Setup gave a copy of itself, or
// nullptr when it is: `handle` must be a handle to another process, that process must run the
// program `setupExe` names, that program must be this one byte for byte (a copy of Setup.exe, as
// the copy is made from it), and its folder must lie outside the product's own folders. So a
// number and a path that some starter happened to pass never have Setup wait on a process, least
// of all on the parent waiting for it, nor delete a file that is not Setup's. The folder of
// `setupExe` is held in `folder` before it is looked at, for RunCleanupCopy.
[[nodiscard]] const char* RefusedCleanup(long handle, const std::wstring& setupExe,
                                         FileHandle* folder);

// The temporary copy's work, in a process of its own, from its command line that RefusedCleanup
// took: wait for the installer (the process behind `handle`) to end, then remove `setupExe` and
// its folder, the one `folder` has held since RefusedCleanup. Returns the exit code.
int RunCleanupCopy(long handle, const std::wstring& setupExe, FileHandle folder);
