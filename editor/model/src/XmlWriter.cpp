// Writing the configuration file: one pass over the PLCs and the tree, line by line, each line
// ended by carriage return and line feed, in ISO-8859-1.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

#include "Guard.h"
#include "XmlText.h"
#include "config/ElementNames.h"
#include "config/ServerKind.h"

namespace orva::editor {

namespace {

// Writes one line: the UTF-8 text as ISO-8859-1 bytes and the line end.
void writeLine(std::ostream& out, std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() + 2);
    appendLatin1(bytes, text);
    bytes += "\r\n";
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) raise(ErrorCode::DeviceIo);
}

}  // namespace

std::string EditorModel::SettingsXmlTag() const
{
    return Tabs(1) + "<SETTINGS com=\"" + escapeAttribute(settings.comPort) + "\" master = \"" +
           std::to_string(settings.master) + "\" baudrate=\"" + std::to_string(settings.baudRate) +
           "\" parity=\"" + escapeAttribute(settings.parity) + "\" stopbits=\"" +
           std::to_string(settings.stopBits) + "\" databits=\"" + std::to_string(settings.dataBits) + "\"/>";
}

void EditorModel::PrintBranch(std::ostream& out, const TreeNode& node, int level)
{
    const bool ok = guarded("PrintBranch", [&] {
        for (const auto& child : node.children()) {
            if (child->tag() == "item") {
                const auto item = items.get(child->key());
                if (!item) raise(ErrorCode::InvalidCall, child->key());
                writeLine(out, item->GetXmlTag(level));
            } else {
                writeLine(out, Tabs(level) + "<" + child->text() + ">");
                PrintBranch(out, *child, level + 1);
                if (!out) raise(ErrorCode::DeviceIo);
                writeLine(out, Tabs(level) + "</" + child->text() + ">");
            }
        }
    });
    if (!ok) writeComplete_ = false;
}

void EditorModel::writeTo(std::ostream& out)
{
    writeComplete_ = true;
    const std::string root(config::rootElementName(serverType));
    writeLine(out, config::xml::DECLARATION);
    writeLine(out, "<" + root + ">");
    if (serverType == ServerKind::Lorvik) writeLine(out, SettingsXmlTag());
    writeLine(out, Tabs(1) + "<OPC_DA>");
    const bool hasInterface = config::hasInterfaceElement(serverType);
    if (hasInterface)
        writeLine(out, Tabs(2) + "<INTERFACE name=\"" + escapeAttribute(settings.interfaceName) + "\">");
    const int level = hasInterface ? 3 : 2;
    for (const auto& entry : plcs) {
        const clsPLC& plc = *entry.value;
        writeLine(out, Tabs(level) + plc.GetXmlTag(serverType));
        writeLine(out, Tabs(level + 1) + "<tags>");
        const TreeNode* node = tree.find(plc.sName);
        if (node == nullptr) raise(ErrorCode::ElementNotFound, plc.sName);
        PrintBranch(out, *node, level + 2);
        writeLine(out, Tabs(level + 1) + "</tags>");
        writeLine(out, Tabs(level) + "</PLC>");
    }
    if (hasInterface) writeLine(out, Tabs(2) + "</INTERFACE>");
    writeLine(out, Tabs(1) + "</OPC_DA>");
    writeLine(out, "</" + root + ">");
    out.flush();
    if (!out) raise(ErrorCode::DeviceIo);
}

bool EditorModel::writeXml(std::ostream& out)
{
    return guarded("CreateXML", [&] { writeTo(out); }) && writeComplete_;
}

bool EditorModel::CreateXML(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    // Written beside the target and renamed over it at the end, so that a failed write never
    // leaves a half-written configuration where a good one was.
    fs::path temporary = target;
    temporary += ".kalder-" + std::to_string(std::random_device{}()) + ".tmp";
    const bool written = guarded("CreateXML", [&] {
        std::error_code ec;
        if (target.has_parent_path() && !fs::is_directory(target.parent_path(), ec))
            raise(ErrorCode::PathNotFound, target.parent_path().string());
        if (fs::is_directory(target, ec)) raise(ErrorCode::PathFileAccess, path);
        {
            // The buffer outlives the stream that writes through it.
            std::vector<char> buffer(1 << 16);
            std::ofstream out;
            out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            out.open(temporary, std::ios::binary | std::ios::trunc);
            if (!out) raise(errno == EACCES ? ErrorCode::PermissionDenied : ErrorCode::PathFileAccess, path);
            try {
                writeTo(out);
                out.close();
                if (!out) raise(ErrorCode::DeviceIo, path);
            } catch (...) {
                out.close();
                fs::remove(temporary, ec);
                throw;
            }
        }
        fs::rename(temporary, target, ec);
        if (ec) {
            fs::remove(temporary, ec);
            raise(ErrorCode::PathFileAccess, path);
        }
    });
    return written && writeComplete_;
}

}  // namespace orva::editor
