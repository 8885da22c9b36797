#pragma once

#include <QString>

// Whether a file from outside the window (the command line, a drop, the desktop's media
// controls) can be played, asked before anything changes: the song reader's own verdict.
namespace SongFileCheck {

// Why the song reader refuses the file, in a few words; empty when it can be played.
QString whyUnplayable(const QString& path);

// A quick look at the start of the file for what the reader looks for, for a drag still moving
// over the window: a regular file holding a MIDI header near its start, or RIFF MIDI.
bool looksLikeSong(const QString& path);

} // namespace SongFileCheck
