#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/text/Embed.h"

using namespace qvpdf;

namespace {

// PDF numbers: digits, at most one point, an optional leading minus; no exponent.
bool isPdfNumber(const std::string& s) {
    if (s.empty() || s == "-0") return false;
    size_t i = s[0] == '-' ? 1 : 0, points = 0;
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
        if (s[i] == '.')
            ++points;
        else if (s[i] < '0' || s[i] > '9')
            return false;
    }
    return points <= 1 && s.back() != '.';
}

}  // namespace

TEST(PdfNumber, ContentNumbersHaveAtMostThreeDecimalsAndNoExponent) {
    EXPECT_EQ(pdfNumber(12), "12");
    EXPECT_EQ(pdfNumber(-3.5), "-3.5");
    EXPECT_EQ(pdfNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(pdfNumber(2.0004999), "2");
    EXPECT_EQ(pdfNumber(2.0005), "2.001");
    EXPECT_EQ(pdfNumber(-0.0004), "0");
    EXPECT_EQ(pdfNumber(-0.0), "0");
    EXPECT_EQ(pdfNumber(1e-5), "0");
    EXPECT_EQ(pdfNumber(0.00051), "0.001");
    EXPECT_EQ(pdfNumber(1234567.125), "1234567.125");
    EXPECT_EQ(pdfNumber(1e20), "100000000000000000000");
    EXPECT_EQ(pdfNumber(std::numeric_limits<double>::quiet_NaN()), "0");
    EXPECT_EQ(pdfNumber(-std::numeric_limits<double>::infinity()), "0");
    // Every magnitude, down to the subnormals and up to the largest double, stays plain.
    for (double d : {1e-300, 4.9e-324, 0.125, 999.9995, 1e15 + 0.5, 1e300, std::numeric_limits<double>::max()}) {
        EXPECT_TRUE(isPdfNumber(pdfNumber(d))) << pdfNumber(d);
        EXPECT_TRUE(isPdfNumber(pdfNumber(-d))) << pdfNumber(-d);
    }
}
