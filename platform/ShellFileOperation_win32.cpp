// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ShellFileOperation.h"

#include <windows.h>

#include <shellapi.h>

// The shell shows its own questions and progress on Windows, so Ui is not used.
TFileOperationUi::~TFileOperationUi() = default;

int ShellFileOperation(TShellFileOpStruct& Op, TFileOperationUi* /*Ui*/) {
    SHFILEOPSTRUCTW Native = {};
    Native.hwnd = static_cast<HWND>(Op.hwnd);
    Native.wFunc = Op.wFunc;
    Native.pFrom = reinterpret_cast<PCZZWSTR>(Op.pFrom);
    Native.pTo = reinterpret_cast<PCZZWSTR>(Op.pTo);
    Native.fFlags = Op.fFlags;
    Native.fAnyOperationsAborted = Op.fAnyOperationsAborted ? TRUE : FALSE;
    Native.hNameMappings = Op.hNameMappings;
    Native.lpszProgressTitle = reinterpret_cast<PCWSTR>(Op.lpszProgressTitle);
    const int Result = SHFileOperationW(&Native);
    Op.fAnyOperationsAborted = Native.fAnyOperationsAborted != FALSE;
    Op.hNameMappings = Native.hNameMappings;
    return Result;
}
