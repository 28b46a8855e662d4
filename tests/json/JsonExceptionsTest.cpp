#include <gtest/gtest.h>
#include <functional>
#include "json/JsonExceptions.h"

using namespace Ostrel;

namespace
{
struct MessageCase
{
    std::string name;
    std::function<void()> raise;
    std::string expected;
};
}

class JsonExceptionMessageTest : public ::testing::TestWithParam<MessageCase>
{
};

TEST_P(JsonExceptionMessageTest, WhatIsTheExactText)
{
    try
    {
        GetParam().raise();
        FAIL() << "nothing thrown";
    }
    catch (const JsonException& e)
    {
        EXPECT_EQ(e.what(), GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllThirteen, JsonExceptionMessageTest,
    ::testing::Values(
        MessageCase{"WrongDataType", [] { throw JsonWrongDataTypeException("BOOL", "STRING"); },
                    "You tried to fetch the wrong datatype! You tried to get an \"BOOL\" from an element of type \"STRING\"!\n"},
        MessageCase{"LabelDoesNotExist", [] { throw JsonLabelDoesNotExistException("port"); },
                    "You tried to act upon the non-existent json field \"port\"!\n"
                    "Use Json::Exists() to check if a label exists, or use Json::Set() to create a field if it does not exist yet!\n"},
        MessageCase{"LabelAlreadyExists", [] { throw JsonLabelAlreadyExistsException("port"); },
                    "You tried to create the already existing json field \"port\"!\n"
                    "Use Json::Exists() to check if a label exists, or use Json::FGet() to overwrite existing fields if they already exist!\n"},
        MessageCase{"MissingBrackets", [] { throw JsonParsingMissingBracketsException(); },
                    "The json code that was attempted to parse is missing brackets!\n"},
        MessageCase{"MissingQuotes", [] { throw JsonParsingMissingQuotesException(); },
                    "The json code that was attempted to parse is missing string quotation marks!\n"},
        MessageCase{"ExpectedEOF", [] { throw JsonParsingExpectedEOFException("}x"); },
                    "Expected end of file, but got \"}x\" instead.\n"},
        MessageCase{"General", [] { throw JsonParsingGeneralException("why"); },
                    "The parsing fucked up for some unknown reason. Probably faulty json code. Comment: (why)\n"},
        MessageCase{"DuplicateLabel", [] { throw JsonParsingDuplicateLabelException("a"); },
                    "The parsing fucked up because a duplicate label was found. Duplicate label: \"a\"\n"},
        MessageCase{"UnrecognizableDatatype", [] { throw JsonParsingUnrecognizableDatatypeException("x \"y\""); },
                    "The parsing fucked up because a value is not recognizable. Value: \"x \"y\"\"\n"},
        MessageCase{"UTFSequence", [] { throw JsonParsingUTFSequenceException("12zz"); },
                    "Invalid UTF-8 escape sequence: \"12zz\"\n"},
        MessageCase{"ShorthandWithComment", [] { throw JsonShorthandInvalidException("a.b", "Shorthand was empty!"); },
                    "The shorthand you've requested is invalid! Shorthand: a.b\nShorthand was empty!\n"},
        MessageCase{"ShorthandWithoutComment", [] { throw JsonShorthandInvalidException("a.b", ""); },
                    "The shorthand you've requested is invalid! Shorthand: a.b\n"},
        MessageCase{"NoParentAvailable", [] { throw JsonNoParentAvailableException(); },
                    "You have requested the parent of an element having no parent!\n"},
        MessageCase{"ArrayOutOfRange", [] { throw JsonArrayOutOfRangeException(3, 3); },
                    "You have requested 3th Element (starting at 0) of an array that is only 3 elements long!\n"}),
    [](const auto& info) { return info.param.name; });

TEST(JsonExceptionTest, EveryClassIsAStdException)
{
    EXPECT_THROW(throw JsonParsingMissingBracketsException(), std::exception);
    EXPECT_THROW(throw JsonArrayOutOfRangeException(1, 0), JsonException);
    EXPECT_STREQ(JsonException().what(), "");
}
