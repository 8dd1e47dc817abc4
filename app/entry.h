// The program's entry function, called by the start-up with the command-line tail (the command line after
// the program's own name). Always returns 0.
#pragma once

#include "platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandTail, int showMode);
