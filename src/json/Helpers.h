#pragma once
#include <string>
#include <vector>

namespace Ostrel::Internal
{
    // Number helpers of the JSON library.
    class Helpers
    {
    public:
        template <typename T>
        static T Min(T a, T b)
        {
            return a < b ? a : b;
        }

        // The one release routine of the containers: deletes every pointee in index
        // order, nulls its slot, then deletes the vector. A null vector is left alone.
        template <typename T>
        static void FreeVector(std::vector<T*>* vector)
        {
            if (vector == nullptr)
                return;
            for (T*& item : *vector)
            {
                delete item;
                item = nullptr;
            }
            delete vector;
        }

        // `into` takes `from`'s vector, `from` gets a new empty one, and what `into` held is
        // released last, so that `from` may lie inside it.
        template <typename T>
        static void TakeVector(std::vector<T*>*& into, std::vector<T*>*& from)
        {
            std::vector<T*>* released = into;
            into = from;
            from = new std::vector<T*>();
            FreeVector(released);
        }

        // A new vector holding a copy of every pointee of `source`, in order.
        template <typename T>
        static std::vector<T*>* CloneVector(const std::vector<T*>& source)
        {
            auto* copies = new std::vector<T*>();
            copies->reserve(source.size());
            try
            {
                for (const T* item : source)
                    copies->push_back(new T(*item));
            }
            catch (...)
            {
                FreeVector(copies);
                throw;
            }
            return copies;
        }

        // True when |a - b| < epsilon.
        static bool AreSame(double a, double b, double epsilon);
        static bool AreSame(long double a, long double b, double epsilon);

        // base^exponent, wrapping modulo 2^64.
        static unsigned long Powuli(unsigned long base, unsigned long exponent);

        // `value` written in the base of `alphabet` (its length), most significant digit
        // first, padded on the left with the alphabet's first character to `minLength`.
        // An empty alphabet gives "". Throws std::invalid_argument for a one-character
        // alphabet and a value above 0, in which no finite digit string exists.
        static std::string Base10_2_X(unsigned long long value, std::string alphabet, unsigned int minLength);

        // The value of `digits` over `alphabet`; a character not in the alphabet counts
        // as 0 but keeps its place. Wraps modulo 2^64.
        static unsigned long long BaseX_2_10(std::string digits, std::string alphabet);
    };
}
