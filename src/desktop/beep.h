#pragma once

namespace desktop {

// Plays a tone of hz for ms and returns when it has played: ALSA's "default" device first, else
// the X bell set to that pitch and length, else nothing. Never shows an error. UI thread.
void Beep(int hz, int ms);

}  // namespace desktop
