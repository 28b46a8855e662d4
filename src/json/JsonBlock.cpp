#include "json/JsonBlock.h"
#include <algorithm>
#include <memory>
#include <utility>
#include "json/Helpers.h"
#include "json/JsonExceptions.h"
#include "json/JsonObjectWriter.h"
#include "json/JsonParser.h"
#include "json/Jstring.h"
#include "json/StringHelpers.h"

namespace Ostrel
{
    using Internal::Helpers;
    using Internal::Jstring;
    using Internal::StringHelpers;

    namespace
    {
        const std::string emptyShorthand = "Shorthand was empty!";
    }

    void JsonBlock::SortByLabel(JsonElement** begin, JsonElement** end)
    {
        // Stable: a member moves only past labels it sorts strictly after, so members whose
        // labels compare equal keep their stored order. Insertion for the usual few members
        // (no allocation, linear when they are in order already).
        const auto after = [](const JsonElement* a, const JsonElement* b) {
            return StringHelpers::CompareForOrder(a->label, b->label) > 0;
        };
        if (end - begin < 2)
            return;
        if (end - begin > 32)
            return std::stable_sort(begin, end, [&after](const JsonElement* a, const JsonElement* b) { return after(b, a); });
        for (JsonElement** next = begin + 1; next < end; next++)
        {
            JsonElement* member = *next;
            JsonElement** slot = next;
            for (; slot > begin && after(*(slot - 1), member); slot--)
                *slot = *(slot - 1);
            *slot = member;
        }
    }

    JsonBlock::JsonBlock() : elements(new std::vector<JsonElement*>()), associatedJsonDataNode(nullptr) {}

    // Delegating to JsonBlock() completes the object first, so when Add throws the
    // destructor releases the members added so far.
    JsonBlock::JsonBlock(std::vector<JsonElement> members) : JsonBlock()
    {
        for (JsonElement& member : members)
            Add(std::move(member));
    }

    JsonBlock::JsonBlock(const JsonBlock& other) : JsonBlock()
    {
        CloneFrom(other);
    }

    JsonBlock::JsonBlock(JsonBlock&& other) : JsonBlock()
    {
        std::swap(elements, other.elements);
        SetAssociatedJsonDataNode(nullptr);
    }

    JsonBlock& JsonBlock::operator=(const JsonBlock& other)
    {
        CloneFrom(other);
        return *this;
    }

    JsonBlock& JsonBlock::operator=(JsonBlock&& other)
    {
        if (&other != this)
        {
            Helpers::TakeVector(elements, other.elements);
            SetAssociatedJsonDataNode(associatedJsonDataNode);
        }
        return *this;
    }

    JsonBlock::~JsonBlock()
    {
        Helpers::FreeVector(elements);
    }

    const JsonData* JsonBlock::Walk(const std::vector<std::string>& labels) const
    {
        const JsonBlock* current = this;
        for (std::size_t i = 0; i < labels.size(); i++)
        {
            const JsonElement* element = current->Find(labels[i]);
            if (element == nullptr)
                return nullptr;
            if (i + 1 == labels.size())
                return element->data;
            if (element->data->GetDataType() != JSON)
                return nullptr;
            current = &element->data->GetJsonData();
        }
        return nullptr;
    }

    JsonElement* JsonBlock::Find(const std::string& label) const
    {
        for (JsonElement* element : *elements)
            if (element->label == label)
                return element;
        return nullptr;
    }

    JsonData& JsonBlock::Append(JsonElement* element)
    {
        elements->push_back(element);
        element->data->parent = associatedJsonDataNode;
        return *element->data;
    }

    bool JsonBlock::DoesExist(std::string label) const
    {
        return Find(label) != nullptr;
    }

    JsonData& JsonBlock::Set(std::string label)
    {
        if (JsonElement* element = Find(label))
            return *element->data;
        return Append(new JsonElement(std::move(label)));
    }

    JsonData& JsonBlock::Set(JsonElement element)
    {
        JsonData& value = Set(element.label);
        value = std::move(*element.data);
        return value;
    }

    JsonData& JsonBlock::Get(std::string label)
    {
        if (JsonElement* element = Find(label))
            return *element->data;
        throw JsonLabelDoesNotExistException(label);
    }

    const JsonData& JsonBlock::Get(std::string label) const
    {
        if (const JsonElement* element = Find(label))
            return *element->data;
        throw JsonLabelDoesNotExistException(label);
    }

    JsonData& JsonBlock::Add(std::string label)
    {
        return Add(JsonElement(std::move(label)));
    }

    JsonData& JsonBlock::Add(JsonElement element)
    {
        if (Find(element.label) != nullptr)
            throw JsonLabelAlreadyExistsException(element.label);
        // `element` is already this block's own copy: its value moves in as it is, and the
        // emptied parameter is gone at the end of this call.
        JsonElement* owned = new JsonElement(std::move(element.label), std::exchange(element.data, nullptr));
        return Append(owned);
    }

    void JsonBlock::Remove(std::string label)
    {
        const auto found = std::find_if(elements->begin(), elements->end(),
                                        [&label](const JsonElement* element) { return element->label == label; });
        if (found == elements->end())
            throw JsonLabelDoesNotExistException(label);
        delete *found;
        elements->erase(found);
    }

    bool JsonBlock::TryRemove(std::string label)
    {
        if (!DoesExist(label))
            return false;
        try
        {
            Remove(label);
            return true;
        }
        catch (const JsonException&)
        {
            return false;
        }
    }

    std::size_t JsonBlock::GetNumElements() const
    {
        return elements->size();
    }

    JsonBlock& JsonBlock::Clear()
    {
        Helpers::FreeVector(elements);
        elements = new std::vector<JsonElement*>();
        return *this;
    }

    void JsonBlock::CloneFrom(const JsonBlock& src)
    {
        // Copy before releasing: `src` may be this block or lie inside it.
        std::vector<JsonElement*>* copies = Helpers::CloneVector(*src.elements);
        Helpers::FreeVector(elements);
        elements = copies;
        SetAssociatedJsonDataNode(associatedJsonDataNode);
    }

    void JsonBlock::CloneTo(JsonBlock& dst) const
    {
        dst.CloneFrom(*this);
    }

    bool JsonBlock::IsIdentical(const JsonBlock& other) const
    {
        if (elements->size() != other.elements->size())
            return false;
        for (const JsonElement* mine : *elements)
        {
            const JsonElement* match = nullptr;
            for (const JsonElement* theirs : *other.elements)
                if (theirs->label == mine->label)
                    match = theirs;
            if (match == nullptr || !mine->data->IsIdentical(*match->data))
                return false;
        }
        return true;
    }

    void JsonBlock::SetAssociatedJsonDataNode(JsonData* node)
    {
        associatedJsonDataNode = node;
        for (JsonElement* element : *elements)
            element->data->parent = node;
    }

    std::string JsonBlock::Render(unsigned int depth, bool minify) const
    {
        std::string text;
        RenderTo(text, depth, minify);
        return text;
    }

    void JsonBlock::RenderTo(std::string& out, unsigned int depth, bool minify) const
    {
        RenderTo(out, depth, minify, "", nullptr);
    }

    void JsonBlock::RenderTo(std::string& out, unsigned int depth, bool minify, const std::string& label,
                             const ValueRenderer& renderValue) const
    {
        if (elements->empty())
        {
            out += "{}";
            return;
        }
        // Blocks are small as a rule: their order is sorted on the stack.
        JsonElement* few[32];
        std::vector<JsonElement*> many;
        JsonElement** order = few;
        if (elements->size() <= std::size(few))
            std::copy(elements->begin(), elements->end(), few);
        else
            order = (many = *elements).data();
        SortByLabel(order, order + elements->size());

        JsonObjectWriter writer(out, depth, minify);
        for (std::size_t i = 0; i < elements->size(); i++)
        {
            writer.Label(order[i]->label);
            if (renderValue && order[i]->label == label)
                renderValue(out, writer.ValueDepth());
            else
                order[i]->GetData()->RenderTo(out, writer.ValueDepth(), minify);
        }
        writer.End();
    }

    std::vector<JsonElement*>* JsonBlock::GetElementsSortedByLabel() const
    {
        auto sorted = new std::vector<JsonElement*>(*elements);
        SortByLabel(sorted->data(), sorted->data() + sorted->size());
        return sorted;
    }

    void JsonBlock::Parse(std::string text)
    {
        Internal::JsonParser::ParseBlock(*this, text);
    }

    bool JsonBlock::DoesShorthandExist(std::string shorthand, std::string delimiter) const
    {
        return !shorthand.empty() && Walk(StringHelpers::SplitString(shorthand, delimiter)) != nullptr;
    }

    bool JsonBlock::DoesShorthandExist(std::string shorthand, char delimiter) const
    {
        return DoesShorthandExist(std::move(shorthand), Jstring(delimiter));
    }

    JsonData& JsonBlock::ShorthandGet(std::string shorthand, std::string delimiter)
    {
        return const_cast<JsonData&>(std::as_const(*this).ShorthandGet(std::move(shorthand), std::move(delimiter)));
    }

    JsonData& JsonBlock::ShorthandGet(std::string shorthand, char delimiter)
    {
        return ShorthandGet(std::move(shorthand), Jstring(delimiter));
    }

    const JsonData& JsonBlock::ShorthandGet(std::string shorthand, std::string delimiter) const
    {
        if (shorthand.empty())
            throw JsonShorthandInvalidException(shorthand, emptyShorthand);
        const JsonData* value = Walk(StringHelpers::SplitString(shorthand, delimiter));
        if (value == nullptr)
            throw JsonShorthandInvalidException(shorthand, "");
        return *value;
    }

    const JsonData& JsonBlock::ShorthandGet(std::string shorthand, char delimiter) const
    {
        return ShorthandGet(std::move(shorthand), Jstring(delimiter));
    }

    JsonData& JsonBlock::ShorthandSet(std::string shorthand, std::string delimiter)
    {
        if (shorthand.empty())
            throw JsonShorthandInvalidException(shorthand, emptyShorthand);
        if (DoesShorthandExist(shorthand, delimiter))
            return ShorthandGet(shorthand, delimiter);
        return ShorthandAdd(shorthand, delimiter);
    }

    JsonData& JsonBlock::ShorthandSet(std::string shorthand, char delimiter)
    {
        return ShorthandSet(std::move(shorthand), Jstring(delimiter));
    }

    JsonData& JsonBlock::ShorthandAdd(std::string shorthand, std::string delimiter)
    {
        if (shorthand.empty())
            throw JsonShorthandInvalidException(shorthand, emptyShorthand);
        const std::vector<std::string> labels = StringHelpers::SplitString(shorthand, delimiter);

        // Every check that can fail comes before the first block is created: below a
        // new block nothing exists that could be in the way.
        JsonBlock* current = this;
        for (std::size_t i = 0; i + 1 < labels.size(); i++)
        {
            if (!current->DoesExist(labels[i]))
                current = current->Add(labels[i]).SetJsonDataAsPointer(new JsonBlock());
            else if (current->Get(labels[i]).GetDataType() == JSON)
                current = &current->Get(labels[i]).GetJsonData();
            else
                throw JsonShorthandInvalidException(shorthand, "A path segment already exists and is not of type json!");
        }
        if (current->DoesExist(labels.back()))
            throw JsonShorthandInvalidException(shorthand, "Last path segment already exists! Cannot create!");
        return current->Add(labels.back());
    }

    JsonData& JsonBlock::ShorthandAdd(std::string shorthand, char delimiter)
    {
        return ShorthandAdd(std::move(shorthand), Jstring(delimiter));
    }

    void JsonBlock::ShorthandRemove(std::string shorthand, std::string delimiter)
    {
        if (shorthand.empty())
            throw JsonShorthandInvalidException(shorthand, emptyShorthand);
        const std::vector<std::string> labels = StringHelpers::SplitString(shorthand, delimiter);

        std::string parentPath;
        for (std::size_t i = 0; i + 1 < labels.size(); i++)
            parentPath += (i > 0 ? delimiter : "") + labels[i];

        JsonBlock* parent = this;
        if (!parentPath.empty())
        {
            JsonData& parentValue = ShorthandGet(parentPath, delimiter);
            if (parentValue.GetDataType() != JSON)
                throw JsonShorthandInvalidException(shorthand, "The parent of the object to be deleted is not of type json!");
            parent = &parentValue.GetJsonData();
        }
        if (!parent->TryRemove(labels.back()))
            throw JsonShorthandInvalidException(shorthand, "The object to be deleted does not exist!");
    }

    void JsonBlock::ShorthandRemove(std::string shorthand, char delimiter)
    {
        ShorthandRemove(std::move(shorthand), Jstring(delimiter));
    }

    JsonData& JsonBlock::operator[](std::string label)
    {
        return Set(std::move(label));
    }

    JsonData& JsonBlock::operator[](const char* label)
    {
        return Set(label);
    }

    const JsonData& JsonBlock::operator[](std::string label) const
    {
        return Get(std::move(label));
    }

    const JsonData& JsonBlock::operator[](const char* label) const
    {
        return Get(label);
    }

    JsonData& JsonBlock::operator+=(std::string label)
    {
        return Add(std::move(label));
    }

    JsonData& JsonBlock::operator+=(JsonElement element)
    {
        return Add(std::move(element));
    }

    JsonBlock& JsonBlock::operator-=(std::string label)
    {
        Remove(std::move(label));
        return *this;
    }

    bool JsonBlock::operator==(const JsonBlock& other) const
    {
        return IsIdentical(other);
    }

    bool JsonBlock::operator!=(const JsonBlock& other) const
    {
        return !IsIdentical(other);
    }
}
