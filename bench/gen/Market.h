// A made-up market for korvex-gen: securities whose prices on a day depend on the symbol and the
// day alone, so that a folder of files, a bulk file and a file per day written for the same
// symbols and days hold the same figures.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace gen {

// One trading day of a security: prices in cents, volume and open interest in units. Every
// figure is stored exactly by a 4-byte float: prices below 10,000.00 with two decimals, volume
// and open interest whole numbers below 10,000,000.
struct Bar {
    long long open = 0;
    long long high = 0;
    long long low = 0;
    long long close = 0;
    long long volume = 0;
    long long openInterest = 0;
};

// The day `day` of the security `symbol`; low <= open, close <= high. The same arguments give the
// same bar whatever else is generated, before or after.
Bar MarketBar(std::string_view symbol, std::chrono::sys_days day);

// The symbol of the security `index` (from 1) of `count`: S0001, S0002, ... with at least four
// digits, and as many as the largest index needs.
std::string MarketSymbol(long long index, long long count);

}  // namespace gen
