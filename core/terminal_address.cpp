#include "core/terminal_address.h"

#include <QStringList>

#include "core/errors.h"
#include "core/text.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

using Field = TerminalAddress::Field;
using Link = TerminalAddress::Link;

const TerminalAddress::Failure* failureOf(const TerminalAddress& address, Field field) {
    for (const TerminalAddress::Failure& failure : address.failures)
        if (failure.field == field) return &failure;
    return nullptr;
}

// A number as the panel converts it, so that two spellings of one value meet; a text that does
// not convert cannot reach a terminal, but its attempt is still worth a key of its own.
QString canonicalNumber(const TerminalAddress& address, Field field, qint32 value) {
    if (const TerminalAddress::Failure* failure = failureOf(address, field)) return trimBlanks(failure->text);
    return QString::number(value);
}

// A value as it would be typed after its option: quoted when blanks or nothing would make the
// line ambiguous.
QString optionValue(const QString& text) {
    if (!text.isEmpty() && !text.contains(u' ') && !text.contains(u'\t') && !text.contains(u'\''))
        return text;
    return u'\'' + QString(text).replace(u"'"_s, u"'\\''"_s) + u'\'';
}

}  // namespace

TerminalAddress parseTerminalAddress(const ConnectionPanelState& panel) {
    TerminalAddress address;
    address.typed = panel;
    if (panel.rs232Checked)
        address.link = Link::Serial;
    else if (panel.tcpIpChecked)
        address.link = panel.udpTicked ? Link::Udp : Link::Tcp;

    const auto convert = [&address](Field field, const QString& text, qint32& into) {
        try {
            into = strToInt(text);
        } catch (const ConversionError& error) {
            address.failures.append({field, text, error.text()});
        }
    };
    convert(Field::MachineNo, panel.machineNo, address.machineNo);
    if (address.link == Link::Serial) {
        // Only the positions count: "COM10" and "com3" alike give the characters from the fourth on.
        convert(Field::ComPort, panel.comPort.mid(3, 3), address.comPort);
        convert(Field::BaudRate, panel.baudRate, address.baudRate);
    } else if (address.isNetwork()) {
        address.host = panel.ipAddress;
        convert(Field::Port, panel.netPort, address.port);
        convert(Field::Password, panel.netPassword, address.password);
        convert(Field::TimeOut, panel.timeOut, address.timeOut);
    }
    return address;
}

QList<Field> TerminalAddress::fields() const {
    switch (link) {
        case Link::Usb:
            return {Field::MachineNo};
        case Link::Serial:
            return {Field::MachineNo, Field::ComPort, Field::BaudRate};
        case Link::Tcp:
        case Link::Udp:
            break;
    }
    return {Field::MachineNo, Field::Host, Field::Port, Field::Password, Field::TimeOut, Field::Udp};
}

QList<Field> TerminalAddress::fieldsBeforeFailure() const {
    QList<Field> read = fields();
    if (!failures.isEmpty()) read = read.first(read.indexOf(failures.front().field));
    return read;
}

void TerminalAddress::throwConversionError() const {
    if (!failures.isEmpty()) throw ConversionError(failures.front().error);
}

qint32 TerminalAddress::convertedMachineNo() const {
    for (const Failure& failure : failures)
        if (failure.field == Field::MachineNo) throw ConversionError(failure.error);
    return machineNo;
}

QString TerminalAddress::key() const {
    const QString machine = u" machine "_s + canonicalNumber(*this, Field::MachineNo, machineNo);
    switch (link) {
        case Link::Usb:
            return u"usb"_s + machine;
        case Link::Serial: {
            // A port that does not convert is still a port by its number when blanks around it
            // were all that stood in the way ("COM3 "); else the whole text names it.
            const QString number = canonicalNumber(*this, Field::ComPort, comPort);
            bool numeric = false;
            number.toInt(&numeric);
            return u"serial "_s + (numeric ? u"COM"_s + number : trimBlanks(typed.comPort).toUpper()) +
                   machine;
        }
        case Link::Tcp:
        case Link::Udp:
            break;
    }
    return u"tcp "_s + trimBlanks(host).toLower() + u':' + canonicalNumber(*this, Field::Port, port) +
           machine;
}

QString TerminalAddress::displayName() const {
    switch (link) {
        case Link::Usb:
            return u"USB"_s;
        case Link::Serial:
            return typed.comPort;
        case Link::Tcp:
        case Link::Udp:
            break;
    }
    return typed.ipAddress + u':' + typed.netPort;
}

QString TerminalAddress::description() const {
    QStringList options;
    const auto add = [&options](const QString& name, const QString& value) {
        options << u"--"_s + name + u' ' + optionValue(value);
    };
    switch (link) {
        case Link::Usb:
            add(u"link"_s, u"usb"_s);
            add(u"machine"_s, typed.machineNo);
            break;
        case Link::Serial:
            add(u"link"_s, u"serial"_s);
            add(u"machine"_s, typed.machineNo);
            add(u"com"_s, typed.comPort);
            add(u"baud"_s, typed.baudRate);
            break;
        case Link::Tcp:
        case Link::Udp:
            add(u"link"_s, u"tcp"_s);
            add(u"machine"_s, typed.machineNo);
            add(u"ip"_s, typed.ipAddress);
            add(u"port"_s, typed.netPort);
            if (link == Link::Udp) options << u"--udp"_s;
            add(u"timeout"_s, typed.timeOut);
            add(u"password"_s, typed.netPassword);
            break;
    }
    return options.join(u' ');
}

}  // namespace orvelo
