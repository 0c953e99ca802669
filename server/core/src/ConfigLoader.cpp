#include "core/ConfigLoader.h"

#include <fstream>
#include <memory>
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
// The text of an element that holds nothing else is kept in the element itself (less memory
// for large files; readTextValue reads both forms).
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_embed_pcdata;

// The first child of an element is the element named `name` (leading text, kept embedded in
// the parent by the parser, counts as a first child of another kind).
pugi::xml_node firstChildNamed(const pugi::xml_node& parent, std::string_view name)
{
    if (*parent.value()) return {};
    const pugi::xml_node first = parent.first_child();
    return is(first, name) ? first : pugi::xml_node();
}

// A document of 7-bit bytes reads the same in every encoding the files use: parsing it as UTF-8
// spares the conversion of large files. Anything else is read as its declaration says.
pugi::xml_encoding encodingOf(std::string_view bytes)
{
    for (unsigned char c : bytes)
        if (c >= 0x80 || c == 0) return pugi::encoding_auto;
    return pugi::encoding_utf8;
}

// Files larger than this are treated as unreadable.
constexpr std::uintmax_t kMaxFileSize = 1ull << 30;

}  // namespace

void configureNameSpaceRoot(opc::SODaSNameSpaceRoot& root)
{
    opc::SOCmnString accepted;
    root.getTreeDelimiter(&accepted, nullptr);
    root.setTreeDelimiter('.', accepted, opc::SOCmnString(""));
}

namespace {

// Parses the bytes (in place when they need no conversion) and walks the document.
bool loadBytes(const LoadContext& context, char* bytes, std::size_t size, opc::SODaSNameSpaceRoot& root)
{
    pugi::xml_document document;
    try {
        // A malformed document is read as an empty one.
        if (size > 0) {
            const pugi::xml_encoding encoding = encodingOf(std::string_view(bytes, size));
            const pugi::xml_parse_result parsed =
                encoding == pugi::encoding_utf8
                    ? document.load_buffer_inplace(bytes, size, kParseOptions, encoding)
                    : document.load_buffer(bytes, size, kParseOptions, encoding);
            if (!parsed) document.reset();
        }
    } catch (const std::bad_alloc&) {
        context.owner.showWarning(messages::caption(context.kind), messages::NO_PARSER);
        return false;
    }
    Loader loader(context, root);
    const bool ok = loader.load(document);
    loader.finish();
    return ok;
}

}  // namespace

bool loadConfiguration(const LoadContext& context, const std::filesystem::path& path,
                       opc::SODaSNameSpaceRoot& root)
{
    // Not zero-filled: the file's bytes overwrite it, and large files load faster.
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::error_code ec;
    const auto fileSize = std::filesystem::file_size(path, ec);
    if (!ec && fileSize <= kMaxFileSize) {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            bytes.reset(new char[static_cast<std::size_t>(fileSize)]);
            in.read(bytes.get(), static_cast<std::streamsize>(fileSize));
            size = static_cast<std::size_t>(in.gcount());
        }
    }
    return loadBytes(context, bytes.get(), size, root);
}

bool loadConfigurationFromMemory(const LoadContext& context, std::string_view bytes,
                                 opc::SODaSNameSpaceRoot& root)
{
    std::string copy(bytes);
    return loadBytes(context, copy.data(), copy.size(), root);
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
    const pugi::xml_node devices = firstChildNamed(root, xml::OPC_DA);
    if (!devices) {
        fail(messages::NO_DEVICES);
        return false;
    }
    const pugi::xml_node interface = firstChildNamed(devices, xml::INTERFACE);
    if (!interface) {
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
    const pugi::xml_node devices = firstChildNamed(root, xml::OPC_DA);
    if (!devices) {
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
    ctx_.owner.showWarning(messages::caption(ctx_.kind), text);
}

void Loader::refuse(const std::string& text)
{
    if (++refusals_ <= kRefusalsShown) ctx_.owner.showWarning(messages::caption(ctx_.kind), text);
}

void Loader::finish()
{
    if (refusals_ > kRefusalsShown)
        ctx_.owner.showWarning(messages::caption(ctx_.kind),
                               messages::moreSkipped(refusals_ - kRefusalsShown));
}

}  // namespace orva::core
