// The WDR fusion rules written per pixel, straight from their description and without
// tables: the reference the fusion's tests compare whole frames with.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "imaging/WdrFusion.h"

namespace quorix::test {

struct WdrReference {
    WdrLimits n, m, f;        // near, mid, far
    uint32_t l1, h1;          // near/mid band
    uint32_t l2 = 0, h2 = 0;  // mid/far band

    uint16_t Two(uint32_t N, uint32_t M) const {
        const int cn = N > n.max ? 0 : N < l1 ? 1 : N <= h1 ? 2 : 3;
        const int cm = M < m.min ? 0 : M < l1 ? 1 : M <= h1 ? 2 : 3;
        const uint32_t mean = (N + M) >> 1;
        const uint32_t out[4][4] = {
            {0, M, M, M}, {N, N, N, N}, {N, mean, mean, M}, {N, 0, mean, M}};
        return static_cast<uint16_t>(out[cn][cm]);
    }
    uint16_t Three(uint32_t N, uint32_t M, uint32_t F) const {
        const uint32_t a = N > n.max ? 0 : N < l1 ? 1 : N <= h1 ? 2 : 3;
        uint32_t b = 6;
        if (M < m.min || M > m.max) {
            b = 0;
        } else if (M < l1) {
            b = 1;
        } else if (M <= h1) {
            b = 2;
        } else if (M < l2) {
            b = 4;
        } else if (M <= h2) {
            b = 5;
        }
        const uint32_t c = F < f.min ? 0 : F < l2 ? 1 : F <= h2 ? 2 : 3;
        if (a == 1) {
            return static_cast<uint16_t>(N);
        }
        if (b == 4) {
            return static_cast<uint16_t>(M);
        }
        if (c == 3) {
            return static_cast<uint16_t>(F);
        }
        const uint32_t k = a * 256 + b * 16 + c;
        auto in = [k](std::initializer_list<uint32_t> s) {
            for (uint32_t v : s) {
                if (v == k) {
                    return true;
                }
            }
            return false;
        };
        if (in({1, 2})) {
            return static_cast<uint16_t>(F);
        }
        if (in({16, 32, 80, 96})) {
            return static_cast<uint16_t>(M);
        }
        if (k == 768) {
            return static_cast<uint16_t>(N);
        }
        if (in({17, 18, 33, 34, 81, 82, 98, 849, 850, 866})) {
            return static_cast<uint16_t>((M + F) >> 1);
        }
        if (in({528, 529, 530, 544, 545, 546, 593, 594, 800, 801, 802})) {
            return static_cast<uint16_t>((M + N) >> 1);
        }
        if (k == 610) {
            return static_cast<uint16_t>((F + N) >> 1);
        }
        return 0;  // the listed zero keys and the impossible ones
    }
};

}  // namespace quorix::test
