#pragma once

// The exit codes of Morvane's own print program (morvane-printpdf), in one
// place for the program and for the clients that read them. Plain C++: the
// program does not link the core library.
namespace PrintProgramExit {
inline constexpr int Accepted = 0;
inline constexpr int Usage = 1; // also a refused print settings list
inline constexpr int CannotLoad = 2;
inline constexpr int PrintingNotAllowed = 3;
inline constexpr int NoSuchPrinter = 4;
// The spooler is not running, cannot be reached, did not answer or refused the job.
inline constexpr int SpoolerRefused = 5;
// The print settings leave no page of the file: passed over, no failure of the file.
inline constexpr int NoPageLeft = 6;
// A job of several files (-one-job) was accepted without some of them.
inline constexpr int SomeLeftOut = 7;
} // namespace PrintProgramExit
