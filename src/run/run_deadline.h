// One deadline for the whole run, enforced from outside it: the run works on
// a thread of its own, and when it has not finished in time the process ends
// at once, with exit code 0. Nothing inside the run can hold it longer, not
// even a TLS handshake that ignores every network timeout.
#pragma once

#include "run/run_record.h"

// Runs `run` on a new thread and waits for it up to kRunDeadlineMs. Past that
// the process is terminated outright (ExitProcess could deadlock on the
// loader lock held by a thread stuck inside WinINet), leaving the files as a
// killed run leaves them. Should no thread be had, nothing runs.
void RunWithDeadline(void (*run)());

// The installer is started only between these two calls. BeginInstallerStart
// refuses once the run's deadline has passed; a start that has begun is let
// finish before the process ends, so no installer is left half-started.
// Outside RunWithDeadline nothing is refused.
bool BeginInstallerStart();
void EndInstallerStart();

// Builds with EVENT_LOG: the run shares its record as it goes, and exactly
// one record is written per run: by the run's thread when it ends (an
// exception recorded as such), or, when the deadline comes first, by the
// waiting side, with what the run had shared, on a thread of its own that
// may hold the process at most one network wait longer. A run whose record
// or installer start is under way at the deadline is let finish as long.
void ShareRunRecord(const RunRecord& record);
