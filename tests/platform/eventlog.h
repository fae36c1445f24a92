// The event log the test modules write to.
#ifndef EVENTLOG_H
#define EVENTLOG_H

extern "C" void LogEvent(const char* text);
// The events since the last call, each ended by ';'.
extern "C" const char* TakeEvents();

#endif
