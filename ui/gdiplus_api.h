// GDI+ for the program: only the flat interface (DllExports::Gdip...) is used.
// The SDK's headers expect the min/max macros that NOMINMAX removes, so they
// get the standard ones instead.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>
