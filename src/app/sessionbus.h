#pragma once

#include <QString>

class MprisPlayer;

// The player on the session bus, under org.mpris.MediaPlayer2.lumora: the desktop's media
// controls find it there, and so does a second `lumora FILE`, which hands its file over rather
// than starting a second player. Without a session bus (a bare terminal, CI) the player runs on
// its own and says so in one debug line.
namespace SessionBus {

// When a player already owns the name: asks it to play the file (when one is given) and to come
// to the front, and returns true; this process then has nothing left to do.
bool handOverToRunningPlayer(const QString& file);

// Publishes the player's MPRIS interfaces and takes the name. False when that is not possible.
bool publish(MprisPlayer* player);

} // namespace SessionBus
