#include "Market.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace gen {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr long long kMaxCents = 999'999;  // 9,999.99
constexpr long long kMaxVolume = 9'999'999;

// SplitMix64's finaliser: a well-mixed 64-bit value from any key.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t SymbolSeed(std::string_view symbol) {  // FNV-1a
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : symbol) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return Mix(hash);
}

double Uniform(std::uint64_t key) {  // in (0, 1)
    return (static_cast<double>(Mix(key) >> 11) + 0.5) * 0x1p-53;
}

// The draw `k` of day `t` for the security `seed`: a normal deviate (Box-Muller), from a counter
// rather than a sequence, so that no day needs the days before it.
double Normal(std::uint64_t seed, long long t, int k) {
    std::uint64_t key =
        Mix(seed ^ Mix(static_cast<std::uint64_t>(t) * 8 + static_cast<unsigned>(k)));
    return std::sqrt(-2.0 * std::log(Uniform(key))) * std::cos(kTwoPi * Uniform(key + 1));
}

long long ToCents(double price) {
    return std::clamp(std::llround(price * 100.0), 1LL, kMaxCents);
}

// The close of day `t`, unrounded: a level around the security's own base price that swings over
// about six years, one year and two months, plus a day's noise.
double RawClose(std::uint64_t seed, long long t) {
    double base = 5.0 + static_cast<double>(seed % 30000) / 100.0;
    double x = static_cast<double>(t);
    double level = 0.30 * std::sin(kTwoPi * (x / 1500.0 + Uniform(seed + 1))) +
                   0.10 * std::sin(kTwoPi * (x / 250.0 + Uniform(seed + 2))) +
                   0.04 * std::sin(kTwoPi * (x / 40.0 + Uniform(seed + 3)));
    return base * std::exp(level + 0.012 * Normal(seed, t, 0));
}

}  // namespace

Bar MarketBar(std::string_view symbol, std::chrono::sys_days day) {
    std::uint64_t seed = SymbolSeed(symbol);
    long long t = day.time_since_epoch().count();
    Bar bar;
    bar.close = ToCents(RawClose(seed, t));
    bar.open = ToCents(RawClose(seed, t - 1) * std::exp(0.004 * Normal(seed, t, 1)));
    long long top = std::max(bar.open, bar.close);
    long long bottom = std::min(bar.open, bar.close);
    double topPrice = static_cast<double>(top) / 100.0;
    double bottomPrice = static_cast<double>(bottom) / 100.0;
    bar.high = std::max(top, ToCents(topPrice * std::exp(0.006 * std::fabs(Normal(seed, t, 2)))));
    bar.low =
        std::min(bottom, ToCents(bottomPrice * std::exp(-0.006 * std::fabs(Normal(seed, t, 3)))));
    bar.volume =
        std::clamp(std::llround(400000.0 * std::exp(0.4 * Normal(seed, t, 4))), 1000LL, kMaxVolume);
    bar.openInterest =
        20000 + static_cast<long long>(Mix(seed ^ Mix(static_cast<std::uint64_t>(t))) % 80000);
    return bar;
}

std::string MarketSymbol(long long index, long long count) {
    std::string digits = std::to_string(index);
    std::size_t width = std::max<std::size_t>(4, std::to_string(count).size());
    return "S" + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

}  // namespace gen
