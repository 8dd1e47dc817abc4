#include "report_message.h"

void ReportMessage(LPCWSTR text, MessageKind kind) {
    const UINT style = MB_OK | (kind == kInformation ? MB_ICONINFORMATION : MB_ICONWARNING);
    MessageBoxW(nullptr, text, TEXT("Tallyglass"), style);
}
