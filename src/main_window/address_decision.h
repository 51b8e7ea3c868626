#pragma once

#include <QString>

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
AddressDecision decideTypedAddress(const QString &text, const QString &lastAddress);

// Whether typed text makes an address the component can go to.
bool makesAddress(const QString &text);

// Whether the component's location is the address it was sent to: the
// same text, or the same local file.
bool showsAddress(const QString &location, const QString &address);

}  // namespace quillow
