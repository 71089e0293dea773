#include "desktop/beep.h"

#include <X11/Xlib.h>
#include <alsa/asoundlib.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace desktop {
namespace {

constexpr unsigned kRate = 48000;

// ALSA reports a missing card on standard error from inside snd_pcm_open; a machine without
// sound is normal for this tool, so those reports are dropped.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

bool PlayOnAlsa(int hz, int ms) {
  snd_lib_error_set_handler(SilentAlsaError);
  snd_pcm_t* pcm = nullptr;
  // Non-blocking open: a blocking open of a busy device would wait for it to be free.
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
  bool played = false;
  if (snd_pcm_nonblock(pcm, 0) >= 0 &&
      snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                         50000) >= 0) {
    const size_t frames = size_t(kRate) * size_t(ms) / 1000;
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i) {
      samples[i] = int16_t(12000 * std::sin(2 * std::numbers::pi * hz * double(i) / kRate));
    }
    size_t done = 0;
    played = true;
    while (done < frames) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data() + done, frames - done);
      if (n < 0) n = snd_pcm_recover(pcm, int(n), 1);
      if (n < 0) {
        played = false;
        break;
      }
      done += size_t(n);
    }
    if (played) snd_pcm_drain(pcm);
  }
  snd_pcm_close(pcm);
  return played;
}

bool RingXBell(int hz, int ms) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XKeyboardState saved;
  XGetKeyboardControl(display, &saved);
  XKeyboardControl control;
  control.bell_pitch = hz;
  control.bell_duration = ms;
  XChangeKeyboardControl(display, KBBellPitch | KBBellDuration, &control);
  XBell(display, 0);
  // The server rings with the settings current when it handles the request, so the user's own
  // bell settings can be put back straight away.
  control.bell_pitch = int(saved.bell_pitch);
  control.bell_duration = int(saved.bell_duration);
  XChangeKeyboardControl(display, KBBellPitch | KBBellDuration, &control);
  XCloseDisplay(display);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return true;
}

}  // namespace

void Beep(int hz, int ms) {
  if (hz <= 0 || ms <= 0) return;
  if (PlayOnAlsa(hz, ms)) return;
  RingXBell(hz, ms);
}

}  // namespace desktop
