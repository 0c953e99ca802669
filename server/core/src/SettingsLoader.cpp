#include "Loader.h"
#include "config/ElementNames.h"
#include "core/LoaderMessages.h"
#include "core/ValueReaders.h"

namespace orva::core {

namespace xml = config::xml;

void Loader::loadSettings(const pugi::xml_node& settings)
{
    const auto com = readTextValue(settings.attribute(xml::SET_COM.data()));
    const auto parity = readTextValue(settings.attribute(xml::SET_PARITY.data()));
    const auto master = readNumberValue(settings.attribute(xml::SET_MASTER.data()));
    const auto stopbits = readNumberValue(settings.attribute(xml::SET_STOPBITS.data()));
    const auto databits = readNumberValue(settings.attribute(xml::SET_DATABITS.data()));
    const auto baudrate = readLongValue(settings.attribute(xml::SET_BAUDRATE.data()));

    const std::string what = "Settings";
    if (baudrate.invalid())
        return refuse(
            messages::ignored(what, messages::notANumber(xml::SET_BAUDRATE, baudrate.text, UINT32_MAX)));
    const std::pair<std::string_view, const NumberValue<uint16_t>*> numbers[] = {
        {xml::SET_MASTER, &master}, {xml::SET_STOPBITS, &stopbits}, {xml::SET_DATABITS, &databits}};
    for (const auto& [field, value] : numbers) {
        if (value->invalid())
            return refuse(messages::ignored(what, messages::notANumber(field, value->text, UINT16_MAX)));
    }

    if (!com || !parity || baudrate.orZero() == 0 || stopbits.orZero() == 0 || databits.orZero() == 0) return;

    SerialSettings serial;
    serial.com = *com;
    serial.baudrate = baudrate.orZero();
    serial.databits = static_cast<uint8_t>(databits.orZero() & 0xFF);
    serial.parity = *parity == "NO" ? 0 : *parity == "EVEN" ? 2 : 1;
    const uint8_t stop = static_cast<uint8_t>(stopbits.orZero() & 0xFF);
    serial.stopbits = stop == 2 ? 2 : 0;
    serial.master = static_cast<uint8_t>(master.orZero() & 0xFF);
    if (ctx_.transport) ctx_.transport->openSerialPort(serial);
}

}  // namespace orva::core
