// Long file-system loops that may run on a thread owning windows hand the
// pending window messages to their windows now and then, so that the windows
// stay responsive.
#pragma once

// Dispatches every message waiting for the calling thread but keyboard input;
// true when at least one was handled. Keys and a request to end the loop are
// left for the loop that owns the thread.
bool PumpMessages();
// PumpMessages, at most every few tens of milliseconds.
void ProcessPendingMessages();
