// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

/// @file
/// The export macro of libquadrelle-widgets.

/// @def QUADRELLE_WIDGETS_EXPORT
/// Marks the classes and functions that libquadrelle-widgets exports;
/// everything else in the library stays hidden. A program that links the
/// library's static build (Quadrelle's own player and tests) defines
/// QUADRELLE_WIDGETS_STATIC; the library's own build defines QUADRELLE_WIDGETS_BUILD.
/// A program that uses the shared library defines neither.
#if defined(QUADRELLE_WIDGETS_STATIC)
#define QUADRELLE_WIDGETS_EXPORT
#elif defined(_WIN32)
#if defined(QUADRELLE_WIDGETS_BUILD)
#define QUADRELLE_WIDGETS_EXPORT __declspec(dllexport)
#else
#define QUADRELLE_WIDGETS_EXPORT __declspec(dllimport)
#endif
#else
#define QUADRELLE_WIDGETS_EXPORT __attribute__((visibility("default")))
#endif
