// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "AlignFiles.h"
#include "SoundAlignJob.h"

TSoundAligner DefaultSoundAligner() {
    return [](const std::filesystem::path& Reference, const std::vector<std::filesystem::path>& Files,
              std::stop_token Stop, const std::function<void(double)>& Progress) {
        std::vector<TSoundMatch> Results(Files.size());
        try {
            AlignFiles(Reference, Files, Stop, Progress, [&Results](size_t I, const TFileAlignment& Result) {
                TSoundMatch& Match = Results[I];
                if (!Result.Read) {
                    Match.Kind = Result.NoSound ? TSoundMatch::TKind::NoSound : TSoundMatch::TKind::Failed;
                    Match.Error = Result.Error;
                    return;
                }
                Match.Kind = Result.Found.Matched ? TSoundMatch::TKind::Matched : TSoundMatch::TKind::NoMatch;
                Match.Offset = Result.Found.Offset;
                Match.Drift = Result.Found.DriftPpm * 1e-6;
                Match.Confidence = Result.Found.Confidence;
            });
        } catch (const EAlignCancelled&) {
            Results.clear();
        }
        return Results;
    };
}
