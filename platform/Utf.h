// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

#include <string>
#include <string_view>

// Conversions between UTF-8 and UTF-16. Malformed input (stray continuation
// bytes, overlong or truncated sequences, encoded surrogates, code points past
// U+10FFFF, unpaired surrogates) becomes U+FFFD; neither function throws on
// bad input.
QUADRELLE_PLATFORM_EXPORT std::u16string Utf8ToUtf16(std::string_view Text);
QUADRELLE_PLATFORM_EXPORT std::string Utf16ToUtf8(std::u16string_view Text);

// File names. A POSIX name is bytes and need not be UTF-8: each byte that is not
// part of a well-formed sequence becomes a lone surrogate U+DC80..U+DCFF (the
// escape Python uses for file names), so that every name survives the trip to
// UTF-16 and back exactly. FileNameFromUtf16 fails, leaving Name untouched, on
// any other unpaired surrogate.
QUADRELLE_PLATFORM_EXPORT std::u16string FileNameToUtf16(std::string_view Name);
QUADRELLE_PLATFORM_EXPORT bool FileNameFromUtf16(std::u16string_view Text, std::string& Name);
