#pragma once
#include <string>
#include <string_view>

// A search word for listings: found in a text regardless of the case of ASCII letters.
class TextSearch
{
public:
    explicit TextSearch(std::string_view word);

    // True when there is no word, which every text matches.
    bool IsEmpty() const { return folded.empty(); }
    bool IsIn(std::string_view text) const;

    // Below zero, zero or above, as `a` sorts before, with or after `b` when ASCII case is ignored.
    static int CompareFolded(std::string_view a, std::string_view b);

private:
    std::string folded;
};
