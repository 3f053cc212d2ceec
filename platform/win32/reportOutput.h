// The report's output on Windows, for report children and threads.
#pragma once

#include "platform/win32/reportBlock.h"

// From now on standard output and standard error hand each flushed piece
// of the report to the system in one write, marked as a write in the
// block of the report child or thread that makes it: a reader that pauses
// holds up only such writes, and the program never counts them against a
// driver. Each thread gathers its own pieces; line ends become CR LF, as
// the C runtime's text mode writes them.
void writeReportMarked();

// In a report child, before its driver is made: the driver's own standard
// output and error, the C runtime's included, go through a pipe each that
// a thread of the child relays to the program's, each piece marked in
// block as the report's writes are. So the time the driver spends blocked
// writing while the reader pauses is the reader's, and its text keeps its
// place among the report's lines, which relay it before each of theirs.
// Whatever ends the child relays what is left.
void relayDriverOutput(ReportBlock* block);

// Relays what the driver wrote so far, unless another thread of the child
// writes: for a child that is ending.
void relayWhatIsLeft();
