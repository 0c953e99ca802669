#include "AddressSpacePrinter.h"

#include "config/AccessRights.h"
#include "config/DataTypes.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"

namespace orva::tools {

namespace {

std::string typeName(VarType type)
{
    for (const auto& entry : config::dataTypeNames())
        if (entry.varType == type) return std::string(entry.vtName);
    return type == VT_EMPTY ? "VT_EMPTY" : "type " + std::to_string(type);
}

std::string rightsName(uint32_t rights)
{
    const auto name = config::accessRightsName(rights);
    return name.empty() ? "no access" : std::string(name);
}

void describeNode(const opc::SODaSNode& node, int depth, std::string& out)
{
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const auto& branch : node.getBranches()) {
        out += indent + branch->getName() + "/\n";
        describeNode(*branch, depth + 1, out);
    }
    for (const auto& leaf : node.getLeaves()) {
        out += indent + leaf->getName() + "  [" + leaf->getItemID() + "]  " +
               typeName(leaf->getNativeDatatype());
        if (isArrayType(leaf->getNativeDatatype())) {
            opc::SOCmnVariant v;
            if (leaf->getCache()->getValue(v)) out += "[" + std::to_string(v.getArrayLength()) + "]";
        }
        out += "  " + rightsName(leaf->getAccessRights());
        if (const auto* s7 = dynamic_cast<const core::S7Tag*>(leaf.get())) {
            out += "  DB" + std::to_string(s7->dataBlock) + ".DBB" + std::to_string(s7->dataByte);
            if (baseType(leaf->getNativeDatatype()) == VT_BOOL) out += "." + std::to_string(s7->dataBit);
            if (leaf->getNativeDatatype() == VT_BSTR) out += " len " + std::to_string(s7->elements);
        }
        const std::string description = leaf->getDescription();
        if (!description.empty()) out += "  \"" + description + "\"";
        out += "\n";
    }
}

}  // namespace

std::string describePlcs(config::ServerKind kind, const core::PlcList& plcs)
{
    std::string out = "PLCs: " + std::to_string(plcs.size()) + "\n";
    for (std::size_t i = 0; i < plcs.size(); ++i) {
        const core::S7Plc& p = *plcs.at(i);
        out += "  " + p.name;
        switch (kind) {
            case config::ServerKind::Tornel:
                out += "  address " + p.address;
                if (p.source) out += " source " + *p.source;
                out += " slot " + std::to_string(p.cpuSlot) + " rack " + std::to_string(p.rackNr);
                if (p.addressB) {
                    out += "  redundant with " + *p.addressB;
                    if (p.sourceB) out += " source " + *p.sourceB;
                }
                break;
            case config::ServerKind::Lorvik:
            case config::ServerKind::Pennat:
                out += "  MPI address " + std::to_string(p.mpiAddress) + " slot " + std::to_string(p.cpuSlot);
                break;
            case config::ServerKind::Vardel:
                break;
        }
        out += "\n";
    }
    return out;
}

std::string describeAddressSpace(const opc::SODaSNameSpaceRoot& root)
{
    std::string out;
    describeNode(root, 1, out);
    if (out.empty()) out = "  (empty)\n";
    return out;
}

}  // namespace orva::tools
