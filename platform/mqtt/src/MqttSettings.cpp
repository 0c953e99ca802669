#include "mqtt/MqttSettings.h"

#include <unistd.h>

#include <charconv>
#include <climits>
#include <fstream>

namespace orva::mqtt {
namespace {

bool parsePort(std::string_view text, std::uint16_t& port)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

std::string hostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

// The first line of a file, without its line end; nothing when the file cannot be read.
std::optional<std::string> firstLine(const std::string& path)
{
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// A topic level the settings put into topics must not hold wildcards or separators.
bool validTopicLevel(std::string_view text)
{
    return !text.empty() && text.find_first_of("/+#") == std::string_view::npos;
}

}  // namespace

std::optional<BrokerAddress> parseBrokerUrl(std::string_view url)
{
    BrokerAddress address;
    if (url.starts_with("mqtt://")) {
        url.remove_prefix(7);
        address.port = 1883;
    } else if (url.starts_with("mqtts://")) {
        url.remove_prefix(8);
        address.port = 8883;
        address.tls = true;
    } else {
        return std::nullopt;
    }
    if (!url.empty() && url.back() == '/') url.remove_suffix(1);
    std::string_view host = url;
    std::string_view port;
    if (url.starts_with('[')) {
        const auto close = url.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = url.substr(1, close - 1);
        const std::string_view rest = url.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (const auto colon = url.rfind(':'); colon != std::string_view::npos) {
        host = url.substr(0, colon);
        port = url.substr(colon + 1);
    }
    if (host.empty() || host.find_first_of("/@ ") != std::string_view::npos) return std::nullopt;
    if (!port.empty() || url.ends_with(':')) {
        if (!parsePort(port, address.port)) return std::nullopt;
    }
    address.host = std::string(host);
    return address;
}

std::optional<MqttSettings> readMqttSettings(const registry::Registry& registry, std::string_view keyPath,
                                             std::string_view serverName, std::string* problem)
{
    std::string problems;
    const auto finish = [&](std::optional<MqttSettings> settings) {
        if (problem != nullptr) *problem = problems;
        return settings;
    };
    const auto read = [&](std::string_view name, std::string& value) {
        return registry.readString(keyPath, name, value) == registry::Status::Ok;
    };

    MqttSettings s;
    if (!read("MqttBroker", s.brokerUrl)) return finish(std::nullopt);
    const auto address = parseBrokerUrl(s.brokerUrl);
    if (!address) {
        problems = "MqttBroker \"" + s.brokerUrl + "\" is not mqtt://host:port or mqtts://host:port; no MQTT";
        return finish(std::nullopt);
    }
    s.host = address->host;
    s.port = address->port;
    s.tls = address->tls;

    std::string text;
    if (read("MqttFormat", text)) {
        if (text == "sparkplug")
            s.format = PayloadFormat::Sparkplug;
        else if (text != "json")
            problems += "MqttFormat \"" + text + "\" is neither json nor sparkplug, using json; ";
    }
    if (read("MqttTopicPrefix", text)) {
        // The prefix may span several levels ("site/area"), but no wildcards.
        if (!text.empty() && text.find_first_of("+#") == std::string::npos && !text.starts_with('/') &&
            !text.ends_with('/'))
            s.topicPrefix = text;
        else
            problems += "MqttTopicPrefix \"" + text + "\" is not a topic prefix, using orva; ";
    }
    if (read("MqttGroupId", text)) {
        if (validTopicLevel(text))
            s.groupId = text;
        else
            problems += "MqttGroupId \"" + text + "\" is not one topic level, using ORVA; ";
    }
    s.clientId = hostName() + "-" + std::string(serverName);
    if (read("MqttClientId", text)) {
        if (!text.empty() && text.size() <= 65535)
            s.clientId = text;
        else
            problems += "MqttClientId is empty, using " + s.clientId + "; ";
    }
    if (read("MqttUpdateRate", text)) {
        unsigned rate = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
        if (error == std::errc() && end == text.data() + text.size() && rate >= 1)
            s.updateRateMs = rate;
        else
            problems += "MqttUpdateRate \"" + text + "\" is not a rate in ms, using 1000; ";
    }
    read("MqttUser", s.user);
    if (read("MqttPasswordFile", text)) {
        if (const auto password = firstLine(text))
            s.password = *password;
        else
            problems += "MqttPasswordFile \"" + text + "\" cannot be read, connecting without a password; ";
    }
    if (read("MqttCaFile", text)) {
        if (::access(text.c_str(), R_OK) == 0)
            s.caFile = text;
        else
            problems += "MqttCaFile \"" + text + "\" cannot be read, using the system's certificates; ";
    }
    if (read("MqttWrites", text)) {
        if (text == "on")
            s.writes = true;
        else if (text != "off")
            problems += "MqttWrites \"" + text + "\" is neither on nor off, writes stay off; ";
    }
    if (problems.ends_with("; ")) problems.resize(problems.size() - 2);
    return finish(s);
}

}  // namespace orva::mqtt
