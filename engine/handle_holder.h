// The one owner of a kernel handle (Owner in base/owner.h): both -1 and null
// mean that no handle is held.
#pragma once

#include "base/owner.h"
