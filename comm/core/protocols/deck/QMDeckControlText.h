#pragma once
// Text helpers of the deck-control protocols, whose media IDs and names are ASCII on the wire.
#include <QByteArray>
#include <QString>

// The name as ASCII bytes; every character outside ASCII (a surrogate pair counts as one)
// becomes "?", so a name always has a wire form.
QByteArray qmASCIIFolded(const QString& name);
// Received ID bytes as text; bytes outside ASCII read as "?".
QString qmStringFromASCII(const QByteArray& bytes);
// The application's name as controllers see it (display name, else the plain name).
QString qmDeckDeviceName();
