// Process entry of the console front end.
#include "app/console/hbcopy_command.h"

int wmain(int argc, wchar_t** argv) { return RunHbcopy(argc, argv); }
