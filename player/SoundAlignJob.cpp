// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundAlignJob.h"

#include <exception>
#include <stdexcept>

TSoundAlignJob::TSoundAlignJob(TSoundAligner Aligner, std::filesystem::path Reference,
                               std::vector<std::filesystem::path> Files)
    : FThread([this, Aligner = std::move(Aligner), Reference = std::move(Reference),
               Files = std::move(Files)](std::stop_token Stop) {
          try {
              FResults = Aligner(Reference, Files, Stop, [this](double Fraction) {
                  FProgress.store(Fraction, std::memory_order_relaxed);
              });
              if (FResults.size() != Files.size() && !Stop.stop_requested())
                  throw std::runtime_error("the aligner gave " + std::to_string(FResults.size()) +
                                           " results for " + std::to_string(Files.size()) + " files");
          } catch (const std::exception& Error) {
              FResults.clear();
              FError = Error.what();
          } catch (...) {
              FResults.clear();
              FError = "unknown error";
          }
          FDone.store(true, std::memory_order_release);
      }) {}

TSoundAlignJob::~TSoundAlignJob() {
    FThread.request_stop();
    if (FThread.joinable())
        FThread.join();
}
