#include <optional>
#include <string>

#include "Loader.h"
#include "config/ElementNames.h"
#include "core/LoaderMessages.h"
#include "core/S7Tag.h"
#include "core/ValueReaders.h"

namespace orva::core {

namespace xml = config::xml;

void Loader::loadTags(const pugi::xml_node& list, opc::SODaSNode& parent, S7Plc& plc, int depth)
{
    for (pugi::xml_node element = list.first_child(); element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) continue;
        if (xml::TAG == element.name())
            loadTag(element, parent, plc);
        else
            loadBranch(element, parent, plc, depth);
    }
}

void Loader::loadBranch(const pugi::xml_node& element, opc::SODaSNode& parent, S7Plc& plc, int depth)
{
    const std::string name = element.name();
    const std::string what = "branch " + messages::quoted(name) + " in " + parent.getItemID();
    if (depth >= kMaxBranchDepth) {
        refuse(messages::skipped(what,
                                 "branches nest deeper than " + std::to_string(kMaxBranchDepth) + " levels"));
        return;
    }
    opc::SOCmnPointer<opc::SODaSNode> branch = parent.findBranch(name);
    if (!branch) {
        branch.reset(new opc::SODaSNodeDefault(name));
        if (!parent.addBranch(branch.get())) {
            refuse(messages::skipped(what, "the name cannot be published"));
            return;
        }
    }
    loadTags(element, *branch, plc, depth + 1);
}

void Loader::loadTag(const pugi::xml_node& element, opc::SODaSNode& parent, S7Plc& plc)
{
    std::optional<std::string> name, comment, dataType, access;
    NumberValue<uint16_t> dataBlock, dataByte, dataBit, elements;
    struct TextField {
        std::string_view name;
        std::optional<std::string>* value;
    };
    struct NumberField {
        std::string_view name;
        NumberValue<uint16_t>* value;
    };
    const TextField texts[] = {{xml::TAG_NAME, &name},
                               {xml::TAG_COMMENT, &comment},
                               {xml::TAG_DATATYPE, &dataType},
                               {xml::TAG_ACCESSRIGHTS, &access}};
    const NumberField numbers[] = {{xml::TAG_DATABLOCK, &dataBlock},
                                   {xml::TAG_DATABYTE, &dataByte},
                                   {xml::TAG_DATABIT, &dataBit},
                                   {xml::TAG_ELEMENTS, &elements}};

    // A field given twice keeps its last value; a field without text keeps what it had.
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view childName = child.name();
        for (const auto& field : texts) {
            if (childName != field.name) continue;
            if (auto v = readTextValue(child)) *field.value = std::move(v);
        }
        for (const auto& field : numbers) {
            if (childName != field.name) continue;
            auto v = readNumberValue(child);
            if (!v.absent()) *field.value = std::move(v);
        }
    }

    // Described only when refused: building item IDs for every tag would slow large files down.
    auto what = [&] {
        return (name ? "tag " + messages::quoted(*name) : std::string("tag")) + " in " + parent.getItemID();
    };
    if (!name) {
        refuse(messages::skipped(what(), "it has no name"));
        return;
    }
    for (const auto& field : numbers) {
        if (field.value->invalid()) {
            refuse(
                messages::skipped(what(), messages::notANumber(field.name, field.value->text, UINT16_MAX)));
            return;
        }
    }

    opc::SOCmnPointer<S7Tag> tag(new S7Tag(ctx_.queues, *name, accessRightsFromName(access.value_or("")),
                                           dataTypeFromName(dataType.value_or("")), comment.value_or(""),
                                           dataBlock.orZero(), dataByte.orZero(), dataBit.orZero(),
                                           elements.orZero(), &plc));
    if (!parent.addLeaf(tag.get())) {
        refuse(messages::skipped(
            what(), parent.findLeaf(*name) ? "the name is already used" : "the name cannot be published"));
    }
}

}  // namespace orva::core
