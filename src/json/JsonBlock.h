#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace Ostrel
{
    class JsonData;
    class JsonElement;
    namespace Internal
    {
        class JsonParser;
    }

    // A JSON object: members in insertion order with unique labels, each owned by the
    // block. Labels compare byte for byte. Every copy is deep.
    class JsonBlock
    {
    public:
        JsonBlock();
        // Copies of `members` in order; throws JsonLabelAlreadyExistsException on a repeated label.
        JsonBlock(std::vector<JsonElement> members);
        JsonBlock(const JsonBlock& other);
        // Takes `other`'s members without copying; `other` is left empty.
        JsonBlock(JsonBlock&& other);
        JsonBlock& operator=(const JsonBlock& other); // deep copy
        // Moving a block into a value it holds itself is not supported.
        JsonBlock& operator=(JsonBlock&& other);
        ~JsonBlock();

        bool DoesExist(std::string label) const;
        // The member's value, appended as NULL_ when missing.
        JsonData& Set(std::string label);
        // Set(element's label), then a deep copy of the element's value into it.
        JsonData& Set(JsonElement element);
        // Throws JsonLabelDoesNotExistException when missing.
        JsonData& Get(std::string label);
        const JsonData& Get(std::string label) const;
        // Append a member; throw JsonLabelAlreadyExistsException when the label exists.
        JsonData& Add(std::string label);
        JsonData& Add(JsonElement element);
        // Throws JsonLabelDoesNotExistException when missing.
        void Remove(std::string label);
        // False instead of an exception.
        bool TryRemove(std::string label);
        std::size_t GetNumElements() const;
        JsonBlock& Clear();

        // Deep copy of `src`'s members; the copied values get this block's node as parent.
        void CloneFrom(const JsonBlock& src);
        void CloneTo(JsonBlock& dst) const;
        // Same labels with identical values, in any order.
        bool IsIdentical(const JsonBlock& other) const;
        // Records the value that holds this block and makes it the parent of every member value.
        void SetAssociatedJsonDataNode(JsonData* node);

        std::string Render(unsigned int depth, bool minify) const;
        // Appends the same text to `out`: one buffer for a whole document.
        void RenderTo(std::string& out, unsigned int depth, bool minify) const;
        // The same, but the value of the member `label` is appended by renderValue(out,
        // valueDepth) in its place: a large member need not exist as a tree.
        using ValueRenderer = std::function<void(std::string& out, unsigned int valueDepth)>;
        void RenderTo(std::string& out, unsigned int depth, bool minify, const std::string& label,
                      const ValueRenderer& renderValue) const;
        // The block's own members in label order, in a new vector that the caller deletes
        // (the members stay owned by the block).
        std::vector<JsonElement*>* GetElementsSortedByLabel() const;

        // Appends the members of JSON `text`, which starts with '{'. Bad text (a label
        // repeated or already present included) raises and leaves the block as it was.
        void Parse(std::string text);

        // Shorthands: paths of member labels joined by a delimiter ("httpServer.port"),
        // walking through blocks only. A char delimiter works as its one-character string;
        // an empty delimiter makes every character a label. Failures raise
        // JsonShorthandInvalidException and leave the block unchanged.
        bool DoesShorthandExist(std::string shorthand, std::string delimiter) const;
        bool DoesShorthandExist(std::string shorthand, char delimiter) const;
        JsonData& ShorthandGet(std::string shorthand, std::string delimiter);
        JsonData& ShorthandGet(std::string shorthand, char delimiter);
        const JsonData& ShorthandGet(std::string shorthand, std::string delimiter) const;
        const JsonData& ShorthandGet(std::string shorthand, char delimiter) const;
        // The value at the path, created as NULL_ (with the blocks on the way) when missing.
        JsonData& ShorthandSet(std::string shorthand, std::string delimiter);
        JsonData& ShorthandSet(std::string shorthand, char delimiter);
        // Creates the value at the path as NULL_; raises when it exists already.
        JsonData& ShorthandAdd(std::string shorthand, std::string delimiter);
        JsonData& ShorthandAdd(std::string shorthand, char delimiter);
        void ShorthandRemove(std::string shorthand, std::string delimiter);
        void ShorthandRemove(std::string shorthand, char delimiter);

        JsonData& operator[](std::string label);
        JsonData& operator[](const char* label);
        const JsonData& operator[](std::string label) const;
        const JsonData& operator[](const char* label) const;
        JsonData& operator+=(std::string label);
        JsonData& operator+=(JsonElement element);
        JsonBlock& operator-=(std::string label);
        bool operator==(const JsonBlock& other) const;
        bool operator!=(const JsonBlock& other) const;

    private:
        // Appends an owned member and links its value to this block's node.
        JsonData& Append(JsonElement* element);
        JsonElement* Find(const std::string& label) const;
        // The value at the end of a path of labels, or null when a label is missing or a
        // value on the way is not a block.
        const JsonData* Walk(const std::vector<std::string>& labels) const;
        // Into the order in which members are rendered.
        static void SortByLabel(JsonElement** begin, JsonElement** end);

        std::vector<JsonElement*>* elements;
        JsonData* associatedJsonDataNode;

        friend class Internal::JsonParser;
        friend class JsonArray; // sorts by paths
    };
}

#include "json/JsonData.h"
