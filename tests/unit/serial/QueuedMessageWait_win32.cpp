// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "QueuedMessageWait.h"

#include <windows.h>

bool WaitForSentMessage(int TimeoutMs) {
    const ULONGLONG End = GetTickCount64() + static_cast<ULONGLONG>(TimeoutMs);
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
        if (GetTickCount64() >= End)
            return false;
        Sleep(1);
    }
    return true;
}
