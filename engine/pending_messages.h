// Long file-system loops that may run on a thread owning windows hand the
// pending window messages to their windows now and then, so that the windows
// stay responsive.
#pragma once

void ProcessPendingMessages();
