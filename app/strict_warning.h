// The confirmation asked before a Strict run, which deletes from the
// destination whatever the source lacks.
#pragma once

class Application;

// True to go on with the Strict run. Unattended runs, and users who chose
// "Don't ask again", are not asked.
bool ConfirmStrictBackup(Application& app);
