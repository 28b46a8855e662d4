#include <gtest/gtest.h>
#include "rest/ContentDisposition.h"

using namespace Rest;

struct DispositionCase
{
    std::string fileName;  // UTF-8
    std::string fallback;
    std::string encoded;
};

void PrintTo(const DispositionCase& c, std::ostream* os)
{
    *os << c.encoded;
}

std::string Repeat(const std::string& text, size_t times)
{
    std::string result;
    for (size_t i = 0; i < times; i++)
        result += text;
    return result;
}

class ContentDispositionTest : public ::testing::TestWithParam<DispositionCase>
{
};

TEST_P(ContentDispositionTest, OffersAnAsciiFallbackAndTheExactNameInUtf8)
{
    const std::string parameters = "; filename=\"" + GetParam().fallback + "\"; filename*=UTF-8''" + GetParam().encoded;
    EXPECT_EQ(ContentDisposition::Attachment(GetParam().fileName), "attachment" + parameters);
    EXPECT_EQ(ContentDisposition::Inline(GetParam().fileName), "inline" + parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ContentDispositionTest,
    ::testing::Values(
        DispositionCase{"My Song.mp3", "My Song.mp3", "My%20Song.mp3"},
        // Everything that could close the quotes, end the header line or start a new one.
        DispositionCase{"say \"hi\" \\ now.mp4", "say _hi_ _ now.mp4", "say%20%22hi%22%20%5C%20now.mp4"},
        DispositionCase{"a\r\nSet-Cookie: x=1.mp3", "a__Set-Cookie: x=1.mp3", "a%0D%0ASet-Cookie%3A%20x%3D1.mp3"},
        DispositionCase{std::string("t\tn\x7f") + '\0' + "z.mp3", "t_n__z.mp3", "t%09n%7F%00z.mp3"},
        DispositionCase{"100% it's; fine.mp3", "100_ it's; fine.mp3", "100%25%20it%27s%3B%20fine.mp3"},
        DispositionCase{"a!#$&+-.^_`|~b.mp4", "a!#$&+-.^_`|~b.mp4", "a!#$&+-.^_`|~b.mp4"},
        DispositionCase{"\xc3\x9cn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.mp3", "_n_c_d_ __.mp3",
                        "%C3%9Cn%C3%AFc%C3%B6d%C3%A9%20%E6%97%A5%E6%9C%AC.mp3"},
        DispositionCase{"\xe2\x82\xac.mp3", "_.mp3", "%E2%82%AC.mp3"},
        DispositionCase{"\xf0\x9f\x98\x80.mp4", "_.mp4", "%F0%9F%98%80.mp4"},
        // Bytes that are not UTF-8 stand for U+FFFD, one for each broken sequence.
        DispositionCase{"\xff\x80.mp3", "__.mp3", "%EF%BF%BD%EF%BF%BD.mp3"},
        DispositionCase{"\xe6\x97x.mp4", "_x.mp4", "%EF%BF%BDx.mp4"},
        // Text that only looks like an escape is kept character by character.
        DispositionCase{"C:\\users.mp3", "C:_users.mp3", "C%3A%5Cusers.mp3"},
        DispositionCase{"\\u00e9\\u20AC.mp3", "_u00e9_u20AC.mp3", "%5Cu00e9%5Cu20AC.mp3"},
        DispositionCase{"x\\u12", "x_u12", "x%5Cu12"},
        DispositionCase{".mp4", ".mp4", ".mp4"},
        // At most 255 bytes of UTF-8, cut before the extension and never inside a character.
        DispositionCase{std::string(251, 'b') + ".mp3", std::string(251, 'b') + ".mp3",
                        std::string(251, 'b') + ".mp3"},
        DispositionCase{std::string(300, 'a') + ".mp3", std::string(251, 'a') + ".mp3",
                        std::string(251, 'a') + ".mp3"},
        DispositionCase{Repeat("\xe6\x97\xa5", 100) + ".mp4", std::string(83, '_') + ".mp4",
                        Repeat("%E6%97%A5", 83) + ".mp4"},
        DispositionCase{std::string(256, 'c'), std::string(255, 'c'), std::string(255, 'c')}));
