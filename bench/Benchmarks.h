// The benchmarks, one function per group of figures; each prints its figures and details.
#pragma once

namespace bench {

// Application-list registration against reading and writing the list once; growth with a list
// ten times larger.
void RunRegistrationBench();
// Peak memory of a process during the registration, each measurement in a fresh child process.
void RunMemoryBench();
// The child side of RunMemoryBench: `bench.exe memory-child <what> <result file>`.
int RunMemoryChild(int argc, char** argv);
// Payload replacement of nine 50 MB files against CopyFileA of the same files.
void RunPayloadBench();
// Start-up of a staged Setup.exe until its licence dialog waits for input, against a minimal
// dialog program and against the NSIS peer's first window.
void RunStartupBench();
// Setup.exe's silent upgrade against the NSIS peer's, small and large payload, the peer with and
// without flushes.
void RunPeerBench();

} // namespace bench
