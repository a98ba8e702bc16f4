// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every benchmark prints: one figure a line, "name value unit".

#include <algorithm>
#include <cstdio>
#include <vector>

namespace Bench {

inline void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace Bench
