#pragma once
// The walk over a parsed configuration document (see ConfigLoader.h).

#include <cstddef>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "config/Limits.h"
#include "core/ConfigLoader.h"

namespace orva::core {

class Loader {
public:
    Loader(const LoadContext& context, opc::SODaSNameSpaceRoot& root) : ctx_(context), root_(root) {}

    // The whole document; false after a file-structure warning.
    bool load(const pugi::xml_document& document);

    void loadPlcs(const pugi::xml_node& container);
    void loadTags(const pugi::xml_node& list, opc::SODaSNode& parent, S7Plc& plc, int depth);
    void loadSettings(const pugi::xml_node& settings);

    // Shows the count of refusals beyond the ones shown one by one.
    void finish();

private:
    bool loadTcpIpOrSapi(const pugi::xml_node& root);
    bool loadMpi(const pugi::xml_node& root);
    bool loadMpiEmulation(const pugi::xml_node& root);
    opc::SOCmnPointer<S7Plc> makePlc(const pugi::xml_node& element, const std::string& name);
    void loadRedundancy(const pugi::xml_node& element, S7Plc& plc, opc::SODaSNode& branch);
    void loadTag(const pugi::xml_node& element, opc::SODaSNode& parent, S7Plc& plc);
    void loadBranch(const pugi::xml_node& element, opc::SODaSNode& parent, S7Plc& plc, int depth);

    // File-structure warnings: always shown.
    void fail(std::string_view text);
    // Refusals of single elements: the first ones shown, the rest counted.
    void refuse(const std::string& text);

    const LoadContext& ctx_;
    opc::SODaSNameSpaceRoot& root_;
    std::size_t refusals_ = 0;
};

// The node is an element of that name.
inline bool is(const pugi::xml_node& node, std::string_view name)
{
    return node.type() == pugi::node_element && name == node.name();
}

// Refusals shown one by one before the rest are only counted.
inline constexpr std::size_t kRefusalsShown = 20;
using config::kMaxBranchDepth;

}  // namespace orva::core
