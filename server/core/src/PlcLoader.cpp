#include <optional>
#include <string>

#include "Loader.h"
#include "config/ElementNames.h"
#include "core/LoaderMessages.h"
#include "core/S7Tag.h"
#include "core/ValueReaders.h"

namespace orva::core {

namespace xml = config::xml;

namespace {

std::string plcWhat(const std::string& name)
{
    return "PLC " + messages::quoted(name);
}

// A Tornel text of at most 15 characters; the reason when it is longer.
std::optional<std::string> checkText(std::string_view field, const std::optional<std::string>& text)
{
    if (text && characterCount(*text) > xml::MAX_TCPIP_TEXT)
        return messages::tooLong(field, *text, xml::MAX_TCPIP_TEXT);
    return std::nullopt;
}

}  // namespace

void Loader::loadPlcs(const pugi::xml_node& container)
{
    for (pugi::xml_node element = container.first_child(); element; element = element.next_sibling()) {
        if (!is(element, xml::PLC)) continue;
        const auto name = readTextValue(element.attribute(xml::NAME.data()));
        if (!name) continue;

        opc::SOCmnPointer<S7Plc> plc = makePlc(element, *name);
        if (!plc) continue;

        // PLCs of the same name share one branch.
        opc::SOCmnPointer<opc::SODaSNode> branch = root_.findBranch(*name);
        if (!branch) {
            branch.reset(new opc::SODaSNodeDefault(*name));
            if (!root_.addBranch(branch.get())) {
                refuse(messages::skipped(plcWhat(*name), "the name cannot be published"));
                continue;
            }
        }
        ctx_.plcList.add(plc.get());

        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            if (ctx_.kind == config::ServerKind::Tornel && is(child, xml::REDUNDANCY)) {
                loadRedundancy(child, *plc, *branch);
            } else if (is(child, xml::TAGS)) {
                loadTags(child, *branch, *plc, 0);
            }
        }
    }
}

opc::SOCmnPointer<S7Plc> Loader::makePlc(const pugi::xml_node& element, const std::string& name)
{
    const std::string what = plcWhat(name);
    auto refused = [&](const std::string& reason) {
        refuse(messages::skipped(what, reason));
        return opc::SOCmnPointer<S7Plc>();
    };
    const auto cpuSlot = readNumberValue(element.attribute(xml::CPU_SLOT.data()));

    switch (ctx_.kind) {
        case config::ServerKind::Vardel:
            return opc::SOCmnPointer<S7Plc>(new S7Plc(name));

        case config::ServerKind::Lorvik:
        case config::ServerKind::Pennat: {
            const auto address = readNumberValue(element.attribute(xml::ADDRESS.data()));
            if (address.invalid())
                return refused(messages::notANumber(xml::ADDRESS, address.text, UINT16_MAX));
            if (cpuSlot.invalid())
                return refused(messages::notANumber(xml::CPU_SLOT, cpuSlot.text, UINT16_MAX));
            return opc::SOCmnPointer<S7Plc>(new S7Plc(name, address.orZero(), cpuSlot.orZero()));
        }

        case config::ServerKind::Tornel: {
            const auto address = readTextValue(element.attribute(xml::ADDRESS.data()));
            const auto source = readTextValue(element.attribute(xml::SOURCE.data()));
            const auto rack = readNumberValue(element.attribute(xml::RACK_NR.data()));
            if (!address) return refused("it has no address");
            if (auto reason = checkText(xml::ADDRESS, address)) return refused(*reason);
            if (auto reason = checkText(xml::SOURCE, source)) return refused(*reason);
            if (cpuSlot.invalid())
                return refused(messages::notANumber(xml::CPU_SLOT, cpuSlot.text, UINT16_MAX));
            if (rack.invalid()) return refused(messages::notANumber(xml::RACK_NR, rack.text, UINT16_MAX));
            return opc::SOCmnPointer<S7Plc>(
                new S7Plc(name, *address, source, cpuSlot.orZero(), rack.orZero()));
        }
    }
    return {};
}

void Loader::loadRedundancy(const pugi::xml_node& element, S7Plc& plc, opc::SODaSNode& branch)
{
    std::optional<std::string> addressB, sourceB;
    NumberValue<uint16_t> block, statusByte, statusBit, cmdByte, cmdBit;
    struct NumberField {
        std::string_view name;
        NumberValue<uint16_t>* value;
    };
    const NumberField numbers[] = {{xml::RED_BLOCK, &block},
                                   {xml::RED_STATUS_BYTE, &statusByte},
                                   {xml::RED_STATUS_BIT, &statusBit},
                                   {xml::RED_CMD_BYTE, &cmdByte},
                                   {xml::RED_CMD_BIT, &cmdBit}};
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view childName = child.name();
        if (childName == xml::RED_ADDRESS_B) {
            if (auto v = readTextValue(child)) addressB = v;
        } else if (childName == xml::RED_SOURCE_B) {
            if (auto v = readTextValue(child)) sourceB = v;
        } else {
            for (const auto& field : numbers) {
                if (childName != field.name) continue;
                auto v = readNumberValue(child);
                if (!v.absent()) *field.value = v;
            }
        }
    }
    if (!addressB) return;

    const std::string what = "redundancy of PLC " + messages::quoted(plc.name);
    if (plc.isRedundant()) {
        refuse(messages::ignored(what, "the PLC is redundant already"));
        return;
    }
    if (auto reason = checkText(xml::RED_ADDRESS_B, addressB))
        return refuse(messages::ignored(what, *reason));
    if (auto reason = checkText(xml::RED_SOURCE_B, sourceB)) return refuse(messages::ignored(what, *reason));
    for (const auto& field : numbers) {
        if (field.value->invalid())
            return refuse(
                messages::ignored(what, messages::notANumber(field.name, field.value->text, UINT16_MAX)));
    }

    opc::SOCmnPointer<S7Tag> status(new S7Tag(ctx_.queues, "PlcRedundancyStatus", opc::OPC_READABLE, VT_BOOL,
                                              "Plc Redundancy Status Bit", block.orZero(),
                                              statusByte.orZero(), statusBit.orZero(), 0, &plc));
    opc::SOCmnPointer<S7Tag> command(
        new S7Tag(ctx_.queues, "PlcRedundancyCommand", opc::OPC_READABLE | opc::OPC_WRITEABLE, VT_UI1,
                  "Plc Redundancy Command Bit", block.orZero(), cmdByte.orZero(), cmdBit.orZero(), 0, &plc));
    opc::SOCmnPointer<S7Tag> state(new S7Tag(ctx_.queues, "ServerRedundancyState", opc::OPC_READABLE, VT_I2,
                                             "Redundancy Master Slave State", 0, 0, 0, 0, &plc));
    if (!branch.addLeaf(state.get()))
        refuse(messages::skipped("tag \"ServerRedundancyState\" in " + branch.getItemID(),
                                 "the name is already used"));
    plc.setRedundancy(*addressB, sourceB, status.get(), command.get(), state.get());
}

}  // namespace orva::core
