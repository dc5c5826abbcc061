// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SoundAlign.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

// One file of AlignFiles: where it lies against the reference, or why it
// could not be read.
struct TFileAlignment {
    bool Read = false; // decoded; Found holds where it lies
    TSoundAlignment Found;
    bool NoSound = false; // not read because it has no sound
    std::string Error;    // not read: why, naming the file
};

// Aligns each of Files against Ref. Two threads decode and align: Ref and
// the first file start together, each file is aligned as soon as it and Ref
// are decoded, and at most two files are held beside Ref, which bounds the
// memory.
//
// Done(I, Result) is called on the calling thread for each file, in the order
// of Files. Progress gets the fraction of the whole (0..1), one call at a
// time, from the decoding threads. Throws Ref's EAlignError when Ref cannot
// be read (the files' decodes are stopped at once), and EAlignCancelled when
// Stop is asked.
void AlignFiles(const std::filesystem::path& Ref, const std::vector<std::filesystem::path>& Files,
                std::stop_token Stop, const TAlignProgress& Progress,
                const std::function<void(std::size_t Index, const TFileAlignment& Result)>& Done);
