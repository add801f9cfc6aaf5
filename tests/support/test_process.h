#pragma once

// Called first in every test program's main. Under ctest the output goes to a
// pipe, where the C library holds it in a buffer that a process ending
// abruptly (a crash on another thread, a kill) never writes out: the test then
// fails with no output at all. Output is written as it comes, and a crash that
// nothing handles says what it was and where before the process ends, also
// where no debugger steps in to report it.
void PrepareTestProcess();
