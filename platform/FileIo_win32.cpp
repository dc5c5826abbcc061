// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "FileIo.h"

#include <windows.h>

#include <random>

namespace {

class THandle {
public:
    explicit THandle(HANDLE Handle) : FHandle(Handle) {}
    ~THandle() {
        if (FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return FHandle; }
    void Reset(HANDLE Handle) {
        Close();
        FHandle = Handle;
    }
    void Close() {
        if (FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE FHandle;
};

} // namespace

int ReadWholeFile(const std::filesystem::path& FileName, std::string& Bytes) {
    Bytes.clear();
    // FILE_SHARE_READ only: other writers are kept out while the file is read.
    THandle file(CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    char buffer[16384];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr))
            return static_cast<int>(GetLastError());
        if (n == 0)
            break;
        Bytes.append(buffer, n);
    }
    return 0;
}

int ReplaceWholeFile(const std::filesystem::path& FileName, const std::string& Bytes) {
    const std::filesystem::path folder = FileName.has_parent_path() ? FileName.parent_path() : L".";
    std::random_device random;
    std::filesystem::path temp;
    THandle out(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = folder / (L"." + FileName.filename().wstring() + L"." + std::to_wstring(random()) + L".tmp");
        HANDLE h =
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            out.Reset(h);
            break;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return static_cast<int>(GetLastError());
    }
    if (out.Get() == INVALID_HANDLE_VALUE)
        return ERROR_FILE_EXISTS;
    DWORD e = 0;
    DWORD written = 0;
    if (!WriteFile(out.Get(), Bytes.data(), static_cast<DWORD>(Bytes.size()), &written, nullptr) ||
        written != Bytes.size())
        e = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    if (e == 0 && !FlushFileBuffers(out.Get()))
        e = GetLastError();
    out.Close();
    if (e == 0 &&
        !MoveFileExW(temp.c_str(), FileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        e = GetLastError();
    if (e != 0) {
        DeleteFileW(temp.c_str());
        return static_cast<int>(e);
    }
    return 0;
}
