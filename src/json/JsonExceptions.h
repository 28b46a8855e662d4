#pragma once
#include <exception>
#include <string>

namespace Ostrel
{
    // Base of every failure the JSON library reports. what() is a complete English
    // text in which every line, the last included, ends with a line end.
    class JsonException : public std::exception
    {
    public:
        JsonException() = default;
        const char* what() const noexcept override;

    protected:
        std::string message;
    };

    // A typed getter was used on a value of another type; arguments are type words.
    class JsonWrongDataTypeException : public JsonException
    {
    public:
        JsonWrongDataTypeException(std::string requested, std::string actual);
    };

    class JsonLabelDoesNotExistException : public JsonException
    {
    public:
        explicit JsonLabelDoesNotExistException(std::string label);
    };

    class JsonLabelAlreadyExistsException : public JsonException
    {
    public:
        explicit JsonLabelAlreadyExistsException(std::string label);
    };

    class JsonParsingMissingBracketsException : public JsonException
    {
    public:
        JsonParsingMissingBracketsException();
    };

    class JsonParsingMissingQuotesException : public JsonException
    {
    public:
        JsonParsingMissingQuotesException();
    };

    // `found` is the rest of the text from the closing bracket that should have ended it.
    class JsonParsingExpectedEOFException : public JsonException
    {
    public:
        explicit JsonParsingExpectedEOFException(std::string found);
    };

    class JsonParsingGeneralException : public JsonException
    {
    public:
        explicit JsonParsingGeneralException(std::string comment);
    };

    class JsonParsingDuplicateLabelException : public JsonException
    {
    public:
        explicit JsonParsingDuplicateLabelException(std::string label);
    };

    class JsonParsingUnrecognizableDatatypeException : public JsonException
    {
    public:
        explicit JsonParsingUnrecognizableDatatypeException(std::string value);
    };

    class JsonParsingUTFSequenceException : public JsonException
    {
    public:
        explicit JsonParsingUTFSequenceException(std::string sequence);
    };

    // `comment` may be empty; it then adds no line.
    class JsonShorthandInvalidException : public JsonException
    {
    public:
        JsonShorthandInvalidException(std::string shorthand, std::string comment);
    };

    class JsonNoParentAvailableException : public JsonException
    {
    public:
        JsonNoParentAvailableException();
    };

    class JsonArrayOutOfRangeException : public JsonException
    {
    public:
        JsonArrayOutOfRangeException(unsigned long index, unsigned long size);
    };
}
