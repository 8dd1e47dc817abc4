// The one way the tool tells the user anything: a modal message box captioned "Tallyglass".
#pragma once

#include "platform.h"

enum MessageKind {
    kWarning,      // usage, every error, the chunk-version warning
    kInformation,  // the final report only
};

// Returns once the user has closed the box.
void ReportMessage(LPCWSTR text, MessageKind kind);
