#pragma once

#include <string>
#include <string_view>

// Conversions between UTF-8 and UTF-16. Malformed input (stray continuation
// bytes, overlong or truncated sequences, encoded surrogates, code points past
// U+10FFFF, unpaired surrogates) becomes U+FFFD; neither function throws on
// bad input.
std::u16string Utf8ToUtf16(std::string_view Text);
std::string Utf16ToUtf8(std::u16string_view Text);
