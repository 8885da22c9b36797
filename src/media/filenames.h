#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes, and not every name on a disk is UTF-8 (an old archive's "caf\xe9.mid").
// The player keeps names as strings; these turn bytes into a string and back without loss: each
// byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte - 0x80), which
// no valid name decodes to. Every name the player hands to the system goes through toBytes.
namespace FileNames {

QString fromBytes(const QByteArray& bytes);
QByteArray toBytes(const QString& name);

// The name made absolute from the working folder (whose own name may not be UTF-8 either).
QString absolute(const QString& name);

// file:// URIs percent-encode the name's bytes; other schemes give an empty name.
QString fromUri(const QString& uri);
QString toUri(const QString& absoluteName);

} // namespace FileNames
