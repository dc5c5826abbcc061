#include "NamedMutex.h"

#include <string>
#include <windows.h>

bool NamedMutexExists(std::u16string_view Name) {
    const std::wstring WideName(Name.begin(), Name.end());
    HANDLE Handle = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, WideName.c_str());
    if (!Handle)
        return false;
    CloseHandle(Handle);
    return true;
}

TMutexHandle CreateNamedMutex(std::u16string_view Name) {
    const std::wstring WideName(Name.begin(), Name.end());
    // The handle stays open until the process ends, which keeps the object.
    return CreateMutexW(nullptr, TRUE, WideName.c_str());
}

void ReleaseNamedMutex(TMutexHandle Handle) {
    if (Handle)
        ReleaseMutex(static_cast<HANDLE>(Handle));
}
