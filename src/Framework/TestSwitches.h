#pragma once
// The switches of reproducible and observed runs, as the program reads them from its
// environment at start:
//   KORVAXA_FIXED_STEP=1          every pass lasts 1/60 s of a clock that starts at a fixed time
//   KORVAXA_FILE_TRACE=<file>     every data-file look-up and log line is appended to the file
// A value that makes no sense is ignored with one log line; an absent or empty one leaves the
// switch off silently.

constexpr const char* kFixedStepSwitch = "KORVAXA_FIXED_STEP";
constexpr const char* kFileTraceSwitch = "KORVAXA_FILE_TRACE";

// "1" installs the fixed-step clock (for the rest of the process), "0" leaves the machine's
// clock. True when the fixed-step clock is now in use.
bool ApplyFixedStepSwitch(const char* value);
// Opens the file trace at that path of the machine. True when the trace is open.
bool ApplyFileTraceSwitch(const char* value);
