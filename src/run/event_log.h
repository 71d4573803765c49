// The run's record in the Application event log, for builds with EVENT_LOG:
// one event per start, under the source "BrenwickUpdateAgent", whose ID is
// the outcome and whose inserts carry the facts. The exe's message table
// (event_messages.mc) has a sentence for each ID.
#pragma once

#include <cstddef>

#include "platform/windows_api.h"
#include "run/run_record.h"

inline constexpr char16_t kEventSourceName[] = u"BrenwickUpdateAgent";

// The event's inserts: %1 the published version and where it came from, %2
// the installed version and where it came from, %3 what went wrong, if
// anything (empty otherwise). Each is cut to fit.
constexpr std::size_t kInsertCount = 3;
constexpr std::size_t kInsertCharacters = 512;
struct EventInserts {
  char16_t text[kInsertCount][kInsertCharacters];
};
void FormatRunRecord(const RunRecord& record, EventInserts& inserts);

// Information when the run did what it should from what it fetched;
// a warning where a fetch failed and the run fell back on an earlier file or
// the default; an error where an installer was refused or the run ended by
// its deadline or an exception.
platform::WORD EventType(const RunRecord& record);

// Writes the record. Allocates nothing, throws nothing, and ignores every
// failure: writing it never changes the run.
void WriteRunRecord(const RunRecord& record);
