// Last words before the process ends, whichever of its threads ends it.
#pragma once

// From now on, when a thread of the process, a driver's own included, ends
// the process by exit or ExitProcess, lastWords runs first, on that
// thread, after every other thread has stopped: it must take no lock that
// one of them may hold. Once per process.
void atProcessEnd(void (*lastWords)());
