#include "json/JsonExceptions.h"

namespace Ostrel
{
    const char* JsonException::what() const noexcept
    {
        return message.c_str();
    }

    JsonWrongDataTypeException::JsonWrongDataTypeException(std::string requested, std::string actual)
    {
        message = "You tried to fetch the wrong datatype! You tried to get an \"" + requested +
                  "\" from an element of type \"" + actual + "\"!\n";
    }

    JsonLabelDoesNotExistException::JsonLabelDoesNotExistException(std::string label)
    {
        message = "You tried to act upon the non-existent json field \"" + label + "\"!\n"
                  "Use Json::Exists() to check if a label exists, or use Json::Set() to create a field if it does not exist yet!\n";
    }

    JsonLabelAlreadyExistsException::JsonLabelAlreadyExistsException(std::string label)
    {
        message = "You tried to create the already existing json field \"" + label + "\"!\n"
                  "Use Json::Exists() to check if a label exists, or use Json::FGet() to overwrite existing fields if they already exist!\n";
    }

    JsonParsingMissingBracketsException::JsonParsingMissingBracketsException()
    {
        message = "The json code that was attempted to parse is missing brackets!\n";
    }

    JsonParsingMissingQuotesException::JsonParsingMissingQuotesException()
    {
        message = "The json code that was attempted to parse is missing string quotation marks!\n";
    }

    JsonParsingExpectedEOFException::JsonParsingExpectedEOFException(std::string found)
    {
        message = "Expected end of file, but got \"" + found + "\" instead.\n";
    }

    JsonParsingGeneralException::JsonParsingGeneralException(std::string comment)
    {
        message = "The parsing fucked up for some unknown reason. Probably faulty json code. Comment: (" + comment + ")\n";
    }

    JsonParsingDuplicateLabelException::JsonParsingDuplicateLabelException(std::string label)
    {
        message = "The parsing fucked up because a duplicate label was found. Duplicate label: \"" + label + "\"\n";
    }

    JsonParsingUnrecognizableDatatypeException::JsonParsingUnrecognizableDatatypeException(std::string value)
    {
        message = "The parsing fucked up because a value is not recognizable. Value: \"" + value + "\"\n";
    }

    JsonParsingUTFSequenceException::JsonParsingUTFSequenceException(std::string sequence)
    {
        message = "Invalid UTF-8 escape sequence: \"" + sequence + "\"\n";
    }

    JsonShorthandInvalidException::JsonShorthandInvalidException(std::string shorthand, std::string comment)
    {
        message = "The shorthand you've requested is invalid! Shorthand: " + shorthand + "\n" + comment;
        if (!comment.empty())
            message += "\n";
    }

    JsonNoParentAvailableException::JsonNoParentAvailableException()
    {
        message = "You have requested the parent of an element having no parent!\n";
    }

    JsonArrayOutOfRangeException::JsonArrayOutOfRangeException(unsigned long index, unsigned long size)
    {
        message = "You have requested " + std::to_string(index) + "th Element (starting at 0) of an array that is only " +
                  std::to_string(size) + " elements long!\n";
    }
}
