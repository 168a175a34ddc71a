#pragma once

#include <cstdint>
#include <vector>

namespace sonari {

// Entries of the caller-owned work arrays ip and w; both start zero-filled, and the transforms
// use all of them (per-pass twiddle tables fill the upper half of w).
constexpr int kFftWorkSize = 65536;
// Largest n (floats) that rdft and cdft accept with work arrays of kFftWorkSize entries.
constexpr int kFftMaxSize = 65536;

// Real transform of n floats in place, n a power of two in 4..kFftMaxSize.
// isgn >= 0, forward: R[k] = sum a[j] cos(2 pi jk/n), I[k] = sum a[j] sin(2 pi jk/n), packed as
//   a[0] = R[0], a[1] = R[n/2], a[2k] = R[k], a[2k+1] = I[k] for 0 < k < n/2.
// isgn < 0, unscaled inverse of that layout: forward then inverse multiplies by n/2.
// ip[0] and ip[1] hold the twiddle and cosine table sizes; the tables are built on first use
// and grown only when a larger n comes, so one pair of work arrays serves every size.
void rdft(int n, int isgn, float* a, int32_t* ip, float* w);

// Complex transform of n/2 points stored as (Re, Im) pairs, n a power of two in 4..kFftMaxSize.
// isgn >= 0: X[k] = sum x[j] e^{+2 pi i jk/N}; isgn < 0: e^{-2 pi i jk/N}. Unscaled.
void cdft(int n, int isgn, float* a, int32_t* ip, float* w);

// One owner's pair of work arrays, zero at creation.
struct TFftWork {
    std::vector<int32_t> ip = std::vector<int32_t>(kFftWorkSize, 0);
    std::vector<float> w = std::vector<float>(kFftWorkSize, 0.0f);

    void Rdft(int n, int isgn, float* a) { rdft(n, isgn, a, ip.data(), w.data()); }
    void Cdft(int n, int isgn, float* a) { cdft(n, isgn, a, ip.data(), w.data()); }
};

} // namespace sonari
