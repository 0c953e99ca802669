#include "core/LoaderMessages.h"

#include "core/ValueReaders.h"

namespace orva::core::messages {

std::string_view caption(config::ServerKind kind)
{
    switch (kind) {
        case config::ServerKind::Tornel:
        case config::ServerKind::Vardel:
            return "OPC S7 TcpIp S7 Server";
        default:
            return "OPC S7 MPI Server";
    }
}

std::string skipped(std::string_view what, std::string_view reason)
{
    return "Wrong XML file syntax: " + std::string(what) + " skipped: " + std::string(reason) + "\n";
}

std::string ignored(std::string_view what, std::string_view reason)
{
    return "Wrong XML file syntax: " + std::string(what) + " ignored: " + std::string(reason) + "\n";
}

std::string quoted(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    std::size_t chars = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && ++chars > kShown) break;
        out.push_back(c < 0x20 ? ' ' : static_cast<char>(c));
    }
    if (i < text.size()) out += "...";
    out += "\"";
    return out;
}

std::string notANumber(std::string_view field, std::string_view text, unsigned long max)
{
    return std::string(field) + " " + quoted(text) + " is not a number from 0 to " + std::to_string(max);
}

std::string tooLong(std::string_view field, std::string_view text, std::size_t max)
{
    return std::string(field) + " " + quoted(text) + " is longer than " + std::to_string(max) + " characters";
}

std::string moreSkipped(std::size_t count)
{
    return "Wrong XML file syntax: " + std::to_string(count) + " more elements skipped or ignored\n";
}

}  // namespace orva::core::messages
