#include <gtest/gtest.h>
#include "rest/RestQueryHandler.h"

using namespace Rest;

struct ValidateCase
{
    std::string request;  // JSON text
    std::string name;
    Ostrel::JSON_DATA_TYPE type;
    std::string message;  // empty when the field passes
};

void PrintTo(const ValidateCase& c, std::ostream* os)
{
    *os << c.request << " " << c.name;
}

class ValidateFieldTest : public ::testing::TestWithParam<ValidateCase>
{
};

// A failure replaces the whole reply by the 400 template; a pass leaves it alone.
TEST_P(ValidateFieldTest, AnswersWhatIsWrong)
{
    Ostrel::JsonData request;
    request.Parse(GetParam().request);
    Ostrel::JsonBlock responseBody;
    responseBody.Set("left_over") = "from before";

    const bool passed = RestQueryHandler::ValidateField(GetParam().name, GetParam().type, request, responseBody);

    if (GetParam().message.empty())
    {
        EXPECT_TRUE(passed);
        EXPECT_EQ(responseBody.GetNumElements(), 1u);
        return;
    }
    EXPECT_FALSE(passed);
    EXPECT_FALSE(responseBody.DoesExist("left_over"));
    EXPECT_EQ(responseBody.GetNumElements(), 3u);
    EXPECT_EQ(responseBody.Get("status").GetStringData(), "ERROR");
    EXPECT_EQ(responseBody.Get("description").GetStringData(), "Bad request");
    EXPECT_EQ(responseBody.Get("message").GetStringData(), GetParam().message);
}

const std::string notAnObject = "The request body must be a json struct! No json array or similar...";

std::string WrongType(const std::string& name, const std::string& actual, const std::string& wanted)
{
    return "Mandatory value \"" + name + "\" is of wrong type (" + actual + ")\nShould be of type " + wanted +
           "! (Integers can be casted to floats)";
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ValidateFieldTest,
    ::testing::Values(ValidateCase{R"([1,2])", "request", Ostrel::STRING, notAnObject},
                      ValidateCase{R"("request")", "request", Ostrel::STRING, notAnObject},
                      ValidateCase{R"(7)", "request", Ostrel::STRING, notAnObject},
                      ValidateCase{R"({})", "request", Ostrel::STRING, "Missing mandatory value 'request'"},
                      ValidateCase{R"({"Request":"foo"})", "request", Ostrel::STRING,
                                   "Missing mandatory value 'request'"},
                      ValidateCase{R"({"request":"foo"})", "request", Ostrel::STRING, ""},
                      ValidateCase{R"({"request":5})", "request", Ostrel::STRING,
                                   WrongType("request", "INT", "STRING")},
                      ValidateCase{R"({"n":2.5})", "n", Ostrel::INT, ""},
                      ValidateCase{R"({"n":3})", "n", Ostrel::FLOAT, ""},
                      ValidateCase{R"({"n":"3"})", "n", Ostrel::INT, WrongType("n", "STRING", "INT")},
                      ValidateCase{R"({"n":true})", "n", Ostrel::INT, WrongType("n", "BOOL", "INT")},
                      ValidateCase{R"({"n":3})", "n", Ostrel::BOOL, WrongType("n", "INT", "BOOL")},
                      ValidateCase{R"({"n":null})", "n", Ostrel::NULL_, ""},
                      ValidateCase{R"({"c":[1]})", "c", Ostrel::JSON, WrongType("c", "ARRAY", "JSON")},
                      ValidateCase{R"({"c":{"d":true}})", "c.d", Ostrel::BOOL, ""},
                      ValidateCase{R"({"c":{"d":true}})", "c.e", Ostrel::BOOL, "Missing mandatory value 'c.e'"}));
