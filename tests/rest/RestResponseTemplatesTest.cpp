#include <gtest/gtest.h>
#include "rest/RestResponseTemplates.h"

using namespace Rest;

struct TemplateCase
{
    int code;
    std::string message;
    std::vector<std::pair<std::string, std::string>> members;
};

void PrintTo(const TemplateCase& c, std::ostream* os)
{
    *os << c.code << " \"" << c.message << '"';
}

class GetByCodeTest : public ::testing::TestWithParam<TemplateCase>
{
};

TEST_P(GetByCodeTest, PicksTheTemplateAndItsDefaultMessage)
{
    const Ostrel::JsonBlock reply =
        RestResponseTemplates::GetByCode(static_cast<HTTP_STATUS_CODE>(GetParam().code), GetParam().message);

    EXPECT_EQ(reply.GetNumElements(), GetParam().members.size());
    for (const auto& [label, value] : GetParam().members)
        EXPECT_EQ(reply.Get(label).GetStringData(), value) << label;
}

std::vector<std::pair<std::string, std::string>> Error(const std::string& description, const std::string& message)
{
    return {{"status", "ERROR"}, {"description", description}, {"message", message}};
}

const std::string noTemplate = "No template found for this http-status-code";

INSTANTIATE_TEST_SUITE_P(
    Codes, GetByCodeTest,
    ::testing::Values(TemplateCase{200, "ignored", {{"status", "OK"}}},
                      TemplateCase{400, "", Error("Bad request", "")},
                      TemplateCase{400, "Invalid pelko id!", Error("Bad request", "Invalid pelko id!")},
                      TemplateCase{401, "", Error("Unauthorized", "Unauthorized")},
                      TemplateCase{401, "Only localhost allowed!", Error("Unauthorized", "Only localhost allowed!")},
                      TemplateCase{403, "", Error("Forbidden", "Forbidden!")},
                      TemplateCase{404, "", Error("Not found", "not found")},
                      TemplateCase{404, "gone", Error("Not found", "gone")},
                      TemplateCase{413, "", Error("Payload too large", "Request body too large")},
                      TemplateCase{421, "", Error("Misdirected request", "Misdirected request")},
                      TemplateCase{429, "wait", Error("Too many requests", "wait")},
                      TemplateCase{500, "", Error("Internal server error", "Well, that's not good.")},
                      TemplateCase{500, "boom", Error("Internal server error", "boom")},
                      TemplateCase{501, "", Error("Not implemented", "")},
                      TemplateCase{418, "teapot", Error("Internal server error", noTemplate)},
                      TemplateCase{0, "", Error("Internal server error", noTemplate)}));
