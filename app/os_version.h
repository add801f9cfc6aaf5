// Which version of Windows the program runs on, as major.minor (6.1, 10.0).
#pragma once

// The version the system admits to, or 10.0 when it cannot be learnt.
double GetOsVersion();
