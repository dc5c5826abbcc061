// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

#include <string>
#include <string_view>

/// @file
/// Conversions between UTF-8 and UTF-16, for texts and for file names. Every
/// function may be called from any thread.

/// @name Texts
/// Conversions between UTF-8 and UTF-16. Malformed input (stray continuation
/// bytes, overlong or truncated sequences, encoded surrogates, code points past
/// U+10FFFF, unpaired surrogates) becomes U+FFFD; neither function throws on
/// bad input.
/**@{*/
/// Text in UTF-8 as UTF-16.
QUADRELLE_PLATFORM_EXPORT std::u16string Utf8ToUtf16(std::string_view Text);
/// Text in UTF-16 as UTF-8.
QUADRELLE_PLATFORM_EXPORT std::string Utf16ToUtf8(std::u16string_view Text);
/**@}*/

/// @name File names
/// File names. A POSIX name is bytes and need not be UTF-8: each byte that is not
/// part of a well-formed sequence becomes a lone surrogate U+DC80..U+DCFF (the
/// escape Python uses for file names), so that every name survives the trip to
/// UTF-16 and back exactly.
/**@{*/
/// The name's bytes as UTF-16, with the bytes that are not UTF-8 escaped.
QUADRELLE_PLATFORM_EXPORT std::u16string FileNameToUtf16(std::string_view Name);
/// The bytes of the name Text, escapes undone, into Name. Fails (false),
/// leaving Name untouched, on any other unpaired surrogate.
QUADRELLE_PLATFORM_EXPORT bool FileNameFromUtf16(std::u16string_view Text, std::string& Name);
/**@}*/
