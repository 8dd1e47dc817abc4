// Windows platform layer: the real Windows API. The build defines UNICODE, so TEXT("...") is a wide literal.
#pragma once

#include <windows.h>
#include <shlwapi.h>
