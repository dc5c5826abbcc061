// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

/// @file
/// The export macro of libquadrelle-serial.

/// @def QUADRELLE_SERIAL_EXPORT
/// Marks the classes and functions that libquadrelle-serial exports;
/// everything else in the library stays hidden. A program that links the
/// library's static build (Quadrelle's own player and tests) defines
/// QUADRELLE_SERIAL_STATIC; the library's own build defines QUADRELLE_SERIAL_BUILD.
/// A program that uses the shared library defines neither.
#if defined(QUADRELLE_SERIAL_STATIC)
#define QUADRELLE_SERIAL_EXPORT
#elif defined(_WIN32)
#if defined(QUADRELLE_SERIAL_BUILD)
#define QUADRELLE_SERIAL_EXPORT __declspec(dllexport)
#else
#define QUADRELLE_SERIAL_EXPORT __declspec(dllimport)
#endif
#else
#define QUADRELLE_SERIAL_EXPORT __attribute__((visibility("default")))
#endif
