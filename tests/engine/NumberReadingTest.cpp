// Numbers are read exactly as strtof reads them in the "C" locale: the same value, bit for bit,
// the same characters read and the same texts refused, over a million generated and mangled
// number texts.
#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/NumberText.h"
#include "engine/TextInput.h"

namespace {

struct Reading {
    bool read;
    std::uint32_t bits;
    std::size_t used = 0;  // the characters read, which a whole field must all be
};

Reading ByStrtof(const std::string& text) {
    char* end = nullptr;
#ifdef __MINGW32__
    float value = __mingw_strtof(text.c_str(), &end);  // the C99 strtof; the locale stays "C"
#else
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    float value = strtof_l(text.c_str(), &end, c);
#endif
    Reading r{end != text.c_str(), 0, static_cast<std::size_t>(end - text.c_str())};
    if (std::isnan(value)) {
        value = std::nanf("");  // any NaN is as good as another: it is stored as zero
    }
    std::memcpy(&r.bits, &value, sizeof value);
    return r;
}

Reading ByEngine(const std::string& text) {
    float value = 0.0f;
    std::size_t used = 0;
    Reading r{engine::ReadLeadingFloat(text, &value, &used), 0, used};
    if (std::isnan(value)) {
        value = std::nanf("");
    }
    std::memcpy(&r.bits, &value, sizeof value);
    return r;
}

std::string Digits(std::mt19937_64& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += static_cast<char>('0' + random() % 10);
    }
    return text;
}

// A decimal number of any size and precision, sometimes with an exponent, a sign, blanks, or a
// tail that is not part of it.
std::string NumberText(std::mt19937_64& random) {
    std::string text;
    if (random() % 8 == 0) {
        text += std::string(random() % 3, " \t\r\n\v\f"[random() % 6]);
    }
    if (random() % 3 == 0) {
        text += "+-"[random() % 2];
    }
    text += Digits(random, static_cast<int>(random() % (random() % 4 == 0 ? 40 : 9)));
    if (random() % 2 == 0) {
        text += '.' + Digits(random, static_cast<int>(random() % 12));
    }
    if (random() % 4 == 0) {
        text += "eE"[random() % 2];
        if (random() % 2 == 0) {
            text += "+-"[random() % 2];
        }
        text += std::to_string(random() % 60);
    }
    if (random() % 6 == 0) {
        text += "abc,.e-x"[random() % 8];
    }
    return text;
}

// Random characters of the kinds a number is made of.
std::string Mangled(std::mt19937_64& random) {
    static const char alphabet[] = "0123456789.eE+- xXpPaAfFiInNtTyY(),";
    std::string text;
    for (std::size_t i = 0, n = random() % 14; i < n; ++i) {
        text += alphabet[random() % (sizeof alphabet - 1)];
    }
    return text;
}

TEST(NumberReadingTest, ReadsExactlyAsStrtof) {
    const std::string fixed[] = {"",
                                 " ",
                                 ".",
                                 "-",
                                 "+",
                                 "+-1",
                                 "-+1",
                                 "1e",
                                 "1e+",
                                 ".5",
                                 "5.",
                                 "-0",
                                 "0x1p3",
                                 "0X1A",
                                 "inf",
                                 "-Infinity",
                                 "nan",
                                 "nan(12)",
                                 "1e39",
                                 "-1e39",
                                 "1e-39",
                                 "1e-46",
                                 "3.4028235e38",
                                 "12.5abc",
                                 "00000000000000000000000000000001",
                                 "1,5",
                                 "\t\n 7",
                                 "340282356779733661637539395458142568448"};
    for (const std::string& text : fixed) {
        Reading a = ByStrtof(text);
        Reading b = ByEngine(text);
        EXPECT_EQ(a.read, b.read) << '"' << text << '"';
        if (a.read) {  // the value of a text that is not a number is not used
            EXPECT_EQ(a.bits, b.bits) << '"' << text << '"';
            EXPECT_EQ(a.used, b.used) << '"' << text << '"';
        }
    }
    std::mt19937_64 random(20261207);
    int differences = 0;
    for (int i = 0; i < 1000000 && differences < 10; ++i) {
        std::string text = i % 4 == 3 ? Mangled(random) : NumberText(random);
        Reading a = ByStrtof(text);
        Reading b = ByEngine(text);
        if (a.read != b.read || (a.read && (a.bits != b.bits || a.used != b.used))) {
            ++differences;
            ADD_FAILURE() << '"' << text << "\" strtof " << a.read << '/' << a.bits << '/' << a.used
                          << ", engine " << b.read << '/' << b.bits << '/' << b.used;
        }
    }
}

// The plain numbers of price files, read whole without strtof, give strtof's value bit for bit:
// up to 15 digits with up to 14 decimals, and whole numbers halfway between two floats, which
// round to the even one.
TEST(NumberReadingTest, PlainDecimalsReadWholeAsStrtofReadsThem) {
    std::mt19937_64 random(20261208);
    std::vector<std::string> texts = {"16777217", "16777219",  "-33554434",    "0.1",      "-0",
                                      "16777216", "1.6777216", "0.0000000001", "1.6777217"};
    for (int i = 0; i < 300000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 15);
        const int decimals = static_cast<int>(random() % digits);
        std::string text = (random() % 8 == 0 ? "-" : "") + Digits(random, digits);
        if (decimals > 0) {
            text.insert(text.size() - static_cast<std::size_t>(decimals), ".");
        }
        texts.push_back(std::move(text));
        // A float from 2^24 on, and the whole number halfway to the next one.
        const auto value = static_cast<float>((random() >> 40) + (1u << 24));
        const double ulp = std::nextafter(value, 1e30f) - value;
        texts.push_back(std::to_string(static_cast<long long>(value + ulp / 2)));
    }
    int differences = 0;
    for (const std::string& text : texts) {
        float value = 0.0f;
        const bool read = engine::ReadNumberText(text, {}, &value);
        Reading a = ByStrtof(text);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof value);
        if (!read || bits != a.bits) {
            ADD_FAILURE() << '"' << text << "\" strtof " << a.bits << ", engine " << read << '/'
                          << bits;
            if (++differences == 10) {
                break;
            }
        }
    }
}

}  // namespace

namespace {

// The digits of a short field read eight bytes at once take exactly the texts that the reading
// byte by byte takes, with the same value: every text of up to 8 bytes from digits, points, signs
// and a letter, with what lies before it in the line anything, and random numbers of up to 8.
TEST(NumberReadingTest, ShortFieldsReadAtOnceAsByteByByte) {
    const std::string alphabet = "05.-x";
    std::mt19937_64 random(20261208);
    char line[16];
    auto compare = [&](const std::string& text) {
        for (char& c : line) {
            c = static_cast<char>(random());  // what precedes the field in its line
        }
        std::memcpy(line + 16 - text.size(), text.data(), text.size());
        const std::string_view field(line + 16 - text.size(), text.size());
        for (bool point : {true, false}) {
            float once = 0.0f;
            float bytewise = 0.0f;
            const bool a = engine::number_text::ReadShortPlainDecimal(field, point, &once);
            const bool b = engine::number_text::ReadPlainDecimal(text, point, &bytewise);
            if (a != b || std::memcmp(&once, &bytewise, sizeof once) != 0) {
                ADD_FAILURE() << '"' << text << "\" point " << point << ": at once " << a << '/'
                              << once << ", byte by byte " << b << '/' << bytewise;
                return false;
            }
        }
        return true;
    };
    std::string text;
    for (std::size_t length = 1; length <= 8; ++length) {
        std::size_t combinations = 1;
        for (std::size_t k = 0; k < length; ++k) {
            combinations *= alphabet.size();
        }
        for (std::size_t n = 0; n < combinations; ++n) {
            text.clear();
            for (std::size_t rest = n, k = 0; k < length; ++k, rest /= alphabet.size()) {
                text += alphabet[rest % alphabet.size()];
            }
            ASSERT_TRUE(compare(text));
        }
    }
    for (int i = 0; i < 200000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 8);
        text = Digits(random, digits);
        if (digits < 8 && random() % 2 == 0) {
            text.insert(random() % text.size(), ".");
        }
        if (text.size() < 8 && random() % 4 == 0) {
            text.insert(0, "-");
        }
        ASSERT_TRUE(compare(text));
    }
}

}  // namespace
