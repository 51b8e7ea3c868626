#pragma once

#include <QString>
#include <QStringList>

namespace quillow {

// Removes the blank (U+0020) at both ends; tabs and other spaces stay.
QString trimBlanks(const QString &text);

// What going to a typed address does, decided from the typed text and the
// address last taken.
struct AddressDecision {
    enum class Outcome {
        Ignore,  // the address last taken: nothing happens
        Refuse,  // the INVALID ADDRESS message, the box emptied
        Go,
    };
    Outcome outcome = Outcome::Ignore;
    QString address;      // Go: what the component is sent to
    QString lastAddress;  // the address last taken, afterwards
    QString boxText;      // the address box's text, afterwards
};

// Refused are an empty box, the blank page, text that makes no address, and
// addresses that are no page to go to (scripts, the engine's own pages).
// Text equal to the address last taken is passed over while it would change
// nothing: it makes no address, or one of present (the page on show, the
// one loading) is where it leads. Elsewhere it goes there again.
AddressDecision decideTypedAddress(const QString &text, const QString &lastAddress,
                                   const QStringList &present = {});

// Whether typed text makes an address the component can go to.
bool makesAddress(const QString &text);

// Whether the component's location is where address leads: the same text,
// or the same page once both are read as addresses (a bare host is its start
// page; a local path is its file).
bool showsAddress(const QString &location, const QString &address);

}  // namespace quillow
