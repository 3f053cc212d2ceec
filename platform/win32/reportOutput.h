// The report's output on Windows, for report children and threads.
#pragma once

// From now on standard output and standard error hand each flushed piece
// of the report to the system in one write, marked as a write in the
// block of the report child or thread that makes it: a reader that pauses
// holds up only such writes, and the program never counts them against a
// driver. Each thread gathers its own pieces; line ends become CR LF, as
// the C runtime's text mode writes them.
void writeReportMarked();
