#include "core/ConfigLoader.h"

#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include "Loader.h"
#include "config/ElementNames.h"
#include "core/LoaderMessages.h"
#include "core/ValueReaders.h"

namespace orva::core {

namespace xml = config::xml;

namespace {

// Comments and processing instructions are kept as nodes: one placed before OPC_DA or
// INTERFACE is a first child that is not the expected element. Whitespace-only text is dropped.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;

bool is(const pugi::xml_node& node, std::string_view name)
{
    return node.type() == pugi::node_element && name == node.name();
}

// Files larger than this are treated as unreadable.
constexpr std::uintmax_t kMaxFileSize = 1ull << 30;

}  // namespace

void configureNameSpaceRoot(SODaSNameSpaceRoot& root)
{
    SOCmnString accepted;
    root.getTreeDelimiter(&accepted, nullptr);
    root.setTreeDelimiter('.', accepted, SOCmnString(""));
}

bool loadConfiguration(const LoadContext& context, const std::filesystem::path& path,
                       SODaSNameSpaceRoot& root)
{
    std::string bytes;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size <= kMaxFileSize) {
        std::ifstream in(path, std::ios::binary);
        if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in && !in.eof()) bytes.clear();
    }
    return loadConfigurationFromMemory(context, bytes, root);
}

bool loadConfigurationFromMemory(const LoadContext& context, std::string_view bytes, SODaSNameSpaceRoot& root)
{
    pugi::xml_document document;
    try {
        // A malformed document is read as an empty one.
        if (!bytes.empty()) {
            const pugi::xml_parse_result parsed =
                document.load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_auto);
            if (!parsed) document.reset();
        }
    } catch (const std::bad_alloc&) {
        context.owner.showWarning(messages::NO_PARSER, messages::caption(context.kind));
        return false;
    }
    Loader loader(context, root);
    const bool ok = loader.load(document);
    loader.finish();
    return ok;
}

bool Loader::load(const pugi::xml_document& document)
{
    const std::string_view rootName = config::rootElementName(ctx_.kind);
    for (pugi::xml_node top = document.first_child(); top; top = top.next_sibling()) {
        if (!is(top, rootName)) continue;
        bool ok = true;
        switch (ctx_.kind) {
            case config::ServerKind::Tornel:
            case config::ServerKind::Vardel:
                ok = loadTcpIpOrSapi(top);
                break;
            case config::ServerKind::Pennat:
                ok = loadMpi(top);
                break;
            case config::ServerKind::Lorvik:
                ok = loadMpiEmulation(top);
                break;
        }
        if (!ok) return false;
    }
    return true;
}

bool Loader::loadTcpIpOrSapi(const pugi::xml_node& root)
{
    const pugi::xml_node devices = root.first_child();
    if (!is(devices, xml::OPC_DA)) {
        fail(messages::NO_DEVICES);
        return false;
    }
    const pugi::xml_node interface = devices.first_child();
    if (!is(interface, xml::INTERFACE)) {
        fail(ctx_.kind == config::ServerKind::Tornel ? messages::NO_S7_INTERFACE
                                                     : messages::NO_SAPI_INTERFACE);
        return false;
    }
    if (ctx_.kind == config::ServerKind::Vardel && ctx_.transport) {
        if (auto name = readTextValue(interface.attribute(xml::NAME.data())))
            ctx_.transport->setInterfaceName(*name);
    }
    loadPlcs(interface);
    return true;
}

bool Loader::loadMpi(const pugi::xml_node& root)
{
    const pugi::xml_node devices = root.first_child();
    if (!is(devices, xml::OPC_DA)) {
        fail(messages::NO_DEVICES);
        return false;
    }
    loadPlcs(devices);
    return true;
}

bool Loader::loadMpiEmulation(const pugi::xml_node& root)
{
    bool settingsSeen = false;
    bool devicesSeen = false;
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (is(child, xml::SETTINGS)) {
            loadSettings(child);
            settingsSeen = true;
        } else if (is(child, xml::OPC_DA)) {
            loadPlcs(child);
            devicesSeen = true;
        }
    }
    if (!settingsSeen) {
        fail(messages::NO_SETTINGS);
        return false;
    }
    if (!devicesSeen) {
        fail(messages::NO_DEVICES);
        return false;
    }
    return true;
}

void Loader::fail(std::string_view text)
{
    ctx_.owner.showWarning(text, messages::caption(ctx_.kind));
}

void Loader::refuse(const std::string& text)
{
    if (++refusals_ <= kRefusalsShown) ctx_.owner.showWarning(text, messages::caption(ctx_.kind));
}

void Loader::finish()
{
    if (refusals_ > kRefusalsShown)
        ctx_.owner.showWarning(messages::moreSkipped(refusals_ - kRefusalsShown),
                               messages::caption(ctx_.kind));
}

}  // namespace orva::core
