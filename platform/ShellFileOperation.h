// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

/// @file
/// The shell's file operation: delete, move, copy and rename files and folders
/// as the desktop's file manager does, described by one operation record. The
/// Windows build hands the record to SHFileOperationW unchanged; the POSIX build
/// carries out the same record itself.
///
/// POSIX notes, where the answer differs from Windows:
/// - There is no desktop-wide undo for moves, copies and renames; FOF_ALLOWUNDO
///   only matters for FO_DELETE, which then moves the items to the freedesktop
///   trash (the home trash, `$XDG_DATA_HOME/Trash` or `~/.local/share/Trash`,
///   for items on its file system; otherwise the mount's `$topdir/.Trash/$uid`
///   or `$topdir/.Trash-$uid`). Each item goes to `files/` in the trash under a
///   free name, with a `info/<name>.trashinfo` that records its original path,
///   as the desktop's file managers expect. There is no restore call: a
///   trashed item is undone by restoring it from the trash, with the file
///   manager or by moving it back and removing its info file. An item that
///   cannot be trashed fails the operation; it is never deleted for good instead.
/// - Dialogs (conflict questions, delete confirmation, progress) are shown
///   through a TFileOperationUi that the caller supplies; without one, a
///   conflict that would need a question fails the operation.
/// - Relative paths are taken from the current folder. For FO_RENAME a
///   destination without a separator names the item in the source's folder.
/// - A name may itself hold * and ?: a source that exists as it is written is
///   that item alone; only one that does not is expanded as a pattern.
/// - Names are UTF-16 with the bytes of a name that is not UTF-8 escaped as
///   FileNameToUtf16 does (Utf.h), so that any name can be given and shown.
/// - A copy drops the set-user-ID and set-group-ID bits, as cp does.
/// - FOF_WANTNUKEWARNING changes nothing: what cannot be trashed is never
///   deleted for good.

/// Opaque native window handle (HWND on Windows); only passed through.
using TWindowHandle = void*;

// The Windows headers define the same names as macros with these values; the
// guard lets this header be included after them.
#ifndef FO_MOVE
/// @name Operations
/// The values of TShellFileOpStruct::wFunc, as on Windows.
/**@{*/
inline constexpr uint32_t FO_MOVE = 0x0001;   ///< move the sources to the destinations
inline constexpr uint32_t FO_COPY = 0x0002;   ///< copy the sources to the destinations
inline constexpr uint32_t FO_DELETE = 0x0003; ///< delete the sources (to the trash with FOF_ALLOWUNDO)
inline constexpr uint32_t FO_RENAME = 0x0004; ///< give each source the destination's name
/**@}*/
#endif
#ifndef FOF_MULTIDESTFILES
/// @name Operation flags
/// The bits of TShellFileOpStruct::fFlags, as on Windows.
/**@{*/
inline constexpr uint16_t FOF_MULTIDESTFILES = 0x0001;    ///< pTo names one destination per source
inline constexpr uint16_t FOF_CONFIRMMOUSE = 0x0002;      ///< unused
inline constexpr uint16_t FOF_SILENT = 0x0004;            ///< no progress window
inline constexpr uint16_t FOF_RENAMEONCOLLISION = 0x0008; ///< Windows only: a new name instead of a replace
inline constexpr uint16_t FOF_NOCONFIRMATION = 0x0010;    ///< answer every question with yes
inline constexpr uint16_t FOF_WANTMAPPINGHANDLE = 0x0020; ///< Windows only: fill hNameMappings
inline constexpr uint16_t FOF_ALLOWUNDO = 0x0040;         ///< FO_DELETE moves to the trash
inline constexpr uint16_t FOF_FILESONLY = 0x0080;         ///< Windows only: wildcards match files only
inline constexpr uint16_t FOF_SIMPLEPROGRESS = 0x0100;    ///< Windows only: progress without file names
inline constexpr uint16_t FOF_NOCONFIRMMKDIR = 0x0200;    ///< Windows only: make folders without asking
inline constexpr uint16_t FOF_NOERRORUI = 0x0400;         ///< Windows only: no error message box
/// Windows: ask before deleting for good what the trash refuses.
inline constexpr uint16_t FOF_WANTNUKEWARNING = 0x4000;
/**@}*/
#endif

/// The result when the user cancelled (ERROR_CANCELLED on Windows).
inline constexpr int kFileOpCancelled = 1223;

/// The operation record, field for field SHFILEOPSTRUCTW. pFrom and pTo are
/// name lists: each name followed by one NUL, then one more NUL.
struct TShellFileOpStruct {
    TWindowHandle hwnd = nullptr;                ///< parent of every dialog the operation shows
    uint32_t wFunc = 0;                          ///< FO_MOVE, FO_COPY, FO_DELETE or FO_RENAME
    const char16_t* pFrom = nullptr;             ///< sources; wildcards (* and ?) allowed in the last part
    const char16_t* pTo = nullptr;               ///< destinations; unused (may be null) for FO_DELETE
    uint16_t fFlags = 0;                         ///< FOF_ bits
    bool fAnyOperationsAborted = false;          ///< set when the user skipped an item or cancelled
    void* hNameMappings = nullptr;               ///< Windows only (FOF_WANTMAPPINGHANDLE); left null on POSIX
    const char16_t* lpszProgressTitle = nullptr; ///< Windows only (FOF_SIMPLEPROGRESS); unused on POSIX
};

/// The user's answer to TFileOperationUi::AskReplace.
enum TFileOpAnswer {
    foaReplace,    ///< replace this item
    foaSkip,       ///< leave this item and go on (sets fAnyOperationsAborted)
    foaReplaceAll, ///< replace this and every later item without asking again
    foaCancel      ///< stop the operation; it returns kFileOpCancelled
};

/// The dialogs of an operation, supplied by the caller (a Qt layer on POSIX).
/// Called on the thread that runs the operation, which waits for each answer.
class QUADRELLE_PLATFORM_EXPORT TFileOperationUi {
public:
    /// Virtual, so that the caller may destroy its dialogs through this base.
    virtual ~TFileOperationUi();
    /// Existing would be replaced by Source. Asked only without FOF_NOCONFIRMATION.
    virtual TFileOpAnswer AskReplace(TWindowHandle Owner, std::u16string_view Existing,
                                     std::u16string_view Source) = 0;
    /// Asked once before a FO_DELETE without FOF_NOCONFIRMATION, with the number
    /// of items and whether they go to the trash; false stops it.
    virtual bool ConfirmDelete(TWindowHandle Owner, std::size_t Count, bool ToTrash) = 0;
    /// Shown once the operation has run for ProgressDelay(), unless FOF_SILENT.
    virtual void BeginProgress(TWindowHandle Owner, uint32_t Func) = 0;
    /// Done and Total count bytes (Total may be 0 when unknown); Current is the
    /// item at work. False cancels.
    virtual bool UpdateProgress(uint64_t Done, uint64_t Total, std::u16string_view Current) = 0;
    /// Takes the progress window down; called once after a BeginProgress.
    virtual void EndProgress() = 0;
    /// How long an operation runs before its progress window is shown.
    virtual std::chrono::milliseconds ProgressDelay() const { return std::chrono::milliseconds(500); }
};

/// Carries out Op. Returns 0 on success, kFileOpCancelled when the user
/// cancelled, otherwise an error code (an errno value on POSIX). Every source is
/// found before anything is changed; a file being copied is written under a
/// temporary name and only then put in place, so a failure or a cancel never
/// leaves a half-copied file and never loses a source. Ui may be null.
/// Synchronous; any thread, but the Ui is called on that thread.
QUADRELLE_PLATFORM_EXPORT int ShellFileOperation(TShellFileOpStruct& Op, TFileOperationUi* Ui);
