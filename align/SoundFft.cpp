// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundFft.h"

#include <fftw3.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace {

struct TPlans {
    fftwf_plan Forward = nullptr;
    fftwf_plan Inverse = nullptr;
};

std::mutex PlannerLock; // FFTW's planner keeps global state
std::map<size_t, std::unique_ptr<TPlans>> PlanCache;

// FFTW_ESTIMATE: measuring would make better plans in seconds, not the
// milliseconds a run of the aligner has. The plans are made on buffers
// aligned as fftwf_malloc aligns, so they may run on any such buffers.
const TPlans* PlansFor(size_t Size, float* Real, fftwf_complex* Spectrum) {
    std::lock_guard Lock(PlannerLock);
    std::unique_ptr<TPlans>& Entry = PlanCache[Size];
    if (!Entry) {
        auto Plans = std::make_unique<TPlans>();
        const int N = static_cast<int>(Size);
        Plans->Forward = fftwf_plan_dft_r2c_1d(N, Real, Spectrum, FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
        Plans->Inverse = fftwf_plan_dft_c2r_1d(N, Spectrum, Real, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
        if (!Plans->Forward || !Plans->Inverse) {
            if (Plans->Forward)
                fftwf_destroy_plan(Plans->Forward);
            if (Plans->Inverse)
                fftwf_destroy_plan(Plans->Inverse);
            PlanCache.erase(Size);
            throw std::bad_alloc();
        }
        Entry = std::move(Plans);
    }
    return Entry.get();
}

} // namespace

TRealFft::TRealFft(size_t Size) : FSize(Size) {
    FReal = fftwf_alloc_real(Size);
    FSpectrum = reinterpret_cast<std::complex<float>*>(fftwf_alloc_complex(Size / 2 + 1));
    if (!FReal || !FSpectrum) {
        fftwf_free(FReal);
        fftwf_free(FSpectrum);
        throw std::bad_alloc();
    }
    try {
        FPlans = PlansFor(Size, FReal, reinterpret_cast<fftwf_complex*>(FSpectrum));
    } catch (...) {
        fftwf_free(FReal);
        fftwf_free(FSpectrum);
        throw;
    }
}

TRealFft::~TRealFft() {
    fftwf_free(FReal);
    fftwf_free(FSpectrum);
}

void TRealFft::Forward() {
    fftwf_execute_dft_r2c(static_cast<const TPlans*>(FPlans)->Forward, FReal,
                          reinterpret_cast<fftwf_complex*>(FSpectrum));
}

void TRealFft::Inverse() {
    fftwf_execute_dft_c2r(static_cast<const TPlans*>(FPlans)->Inverse,
                          reinterpret_cast<fftwf_complex*>(FSpectrum), FReal);
}

size_t TRealFft::GoodSize(size_t AtLeast) {
    for (size_t N = AtLeast < 2 ? 2 : AtLeast;; ++N) {
        size_t M = N;
        for (size_t P : {2, 3, 5})
            while (M % P == 0)
                M /= P;
        if (M == 1)
            return N;
    }
}
