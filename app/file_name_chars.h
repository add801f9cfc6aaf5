// Turning a text into something that can be part of a file name.
#pragma once

#include "base/wide_string.h"

// Removes \ / : * ? " < > | from the text; returns how many units went.
int StripInvalidFileNameChars(WideString& text);
