#pragma once
// Start-up phases for the benchmark: with IPTAVIX_STARTUP_TRACE naming a
// file, each mark keeps the moment it was reached, and the last one writes
// them all there as "NAME TIME" lines (FILETIME ticks, the clock of a
// process's creation time). Without the variable a mark does nothing.

// Keeps the moment `phase` ended; `phase` is a literal.
void StartupMark(const char* phase);
// Marks `phase` and writes every mark to the file; later marks are ignored.
void StartupMarkLast(const char* phase);
