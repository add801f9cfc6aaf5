// Where the user's default settings file lives.
#pragma once

class Application;

// The default settings file: the program's folder, the console user's name,
// ".hbak".
void BuildDefaultSettingsPath(Application& app);
