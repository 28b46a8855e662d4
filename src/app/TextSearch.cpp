#include "app/TextSearch.h"
#include <algorithm>

namespace
{
    char Fold(char c)
    {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

TextSearch::TextSearch(std::string_view word)
{
    folded.reserve(word.size());
    for (char c : word)
        folded += Fold(c);
}

bool TextSearch::IsIn(std::string_view text) const
{
    if (folded.size() > text.size())
        return false;
    return std::search(text.begin(), text.end(), folded.begin(), folded.end(),
                       [](char a, char b) { return Fold(a) == b; }) != text.end();
}

int TextSearch::CompareFolded(std::string_view a, std::string_view b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; i++)
    {
        const unsigned char x = static_cast<unsigned char>(Fold(a[i]));
        const unsigned char y = static_cast<unsigned char>(Fold(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}
