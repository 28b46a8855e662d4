#include "json/Helpers.h"
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Ostrel::Internal
{
    bool Helpers::AreSame(double a, double b, double epsilon)
    {
        return std::fabs(a - b) < epsilon;
    }

    bool Helpers::AreSame(long double a, long double b, double epsilon)
    {
        return std::fabs(a - b) < static_cast<long double>(epsilon);
    }

    unsigned long Helpers::Powuli(unsigned long base, unsigned long exponent)
    {
        // Square-and-multiply: the same product modulo 2^64 as multiplying `exponent` times.
        unsigned long result = 1;
        while (exponent > 0)
        {
            if (exponent & 1)
                result *= base;
            base *= base;
            exponent >>= 1;
        }
        return result;
    }

    std::string Helpers::Base10_2_X(unsigned long long value, std::string alphabet, unsigned int minLength)
    {
        if (alphabet.empty())
            return "";
        if (alphabet.size() == 1 && value > 0)
            throw std::invalid_argument("Base10_2_X needs an alphabet of at least two characters for a value above 0");

        const unsigned long long base = alphabet.size();
        std::string digits;
        if (value == 0)
            digits = alphabet.substr(0, 1);
        for (; value > 0; value /= base)
            digits += alphabet[value % base];
        std::reverse(digits.begin(), digits.end());

        if (digits.size() < minLength)
            digits.insert(0, minLength - digits.size(), alphabet[0]);
        return digits;
    }

    unsigned long long Helpers::BaseX_2_10(std::string digits, std::string alphabet)
    {
        // Horner's scheme: equal, modulo 2^64, to summing index * base^(place).
        const unsigned long long base = alphabet.size();
        unsigned long long value = 0;
        for (char c : digits)
        {
            const std::size_t index = alphabet.find(c);
            value = value * base + (index == std::string::npos ? 0 : index);
        }
        return value;
    }
}
