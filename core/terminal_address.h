#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include "core/ports.h"

namespace orvelo {

// A terminal's address: what the connection panel's texts come to when a command connects. The
// window's panel, orveloctl's options and a terminals.ini section all give texts as typed; they
// are read here and nowhere else, by the panel's own rules, so that a terminal is named, listed
// and reached alike whichever of them it came from.
//
// A text that does not convert does not stop the reading: the address keeps it as a failure, so
// that a listing can still show the terminal and the last collection from it, and a connect
// raises the very error the panel has always raised for it.
struct TerminalAddress {
    // The link the radio buttons choose, tested in ConnectDevice's order: rb_232_485, then
    // rb_tcp_ip (UDP when chk_UDP is ticked), else USB.
    enum class Link { Usb, Serial, Tcp, Udp };

    // The fields a connect reads, in the order it reads them: the machine number, then the
    // chosen link's fields. The host and the UDP tick are taken as they are and never fail.
    enum class Field { MachineNo, ComPort, BaudRate, Host, Port, Password, TimeOut, Udp };

    // A field whose text does not convert: `text` is what the conversion was given (for the COM
    // port the characters 4 to 6 of cbb_commport), `error` the ConversionError's text.
    struct Failure {
        Field field;
        QString text;
        QString error;
    };

    Link link = Link::Usb;
    qint32 machineNo = 0;
    qint32 comPort = 0;   // serial
    qint32 baudRate = 0;  // serial
    QString host;         // tcp and udp: edt_ip_address unchanged and unchecked
    qint32 port = 0;      // tcp and udp
    qint32 password = 0;  // tcp and udp
    qint32 timeOut = 0;   // tcp and udp, in milliseconds
    // Every field of the link that did not convert (its number above stays 0), in the order read:
    // the first is the error a connect raises.
    QList<Failure> failures;
    // The texts it was read from, and so the way back to a panel state: the listings show them
    // as typed, and a command is handed them in its CommandContext.
    ConnectionPanelState typed;

    bool isNetwork() const { return link == Link::Tcp || link == Link::Udp; }

    // The fields this link reads, in order.
    QList<Field> fields() const;
    // The fields read before the first that does not convert: what a connect has stored when
    // the conversion error stops it. All of fields() when every one converts.
    QList<Field> fieldsBeforeFailure() const;
    // Throws the first failure's ConversionError; returns when every field converted.
    void throwConversionError() const;
    // The machine number, for a command that needs it before it connects (or without connecting):
    // throws its ConversionError when it does not convert, whatever the link's fields are.
    qint32 convertedMachineNo() const;

    // The key of the last-collection history (data/.collections.json) and of the listing: the
    // link, its address and the machine number, e.g. "tcp 10.0.4.21:5005 machine 1", "serial COM3
    // machine 2", "usb machine 4". Numbers as converted, so "01" and "1" name one terminal; a text
    // that does not convert stays as typed (trimmed). UDP, baud rate, time-out and password do not
    // change which terminal it is.
    QString key() const;
    // The name of an unnamed terminal in watch lines: "<ip>:<port>" or the COM port as typed, or
    // "USB".
    QString displayName() const;
    // The settings as orveloctl's options, those of the chosen link only, texts as typed, e.g.
    // "--link tcp --machine 1 --ip 10.0.4.21 --port 5005 --timeout 5000 --password 0".
    QString description() const;
};

// The one reading of the panel's texts. Converts the machine number, then the chosen link's
// fields in ConnectDevice's order (COM port then baud rate; port, password, time-out), each by
// strToInt; never throws.
TerminalAddress parseTerminalAddress(const ConnectionPanelState& panel);

}  // namespace orvelo
