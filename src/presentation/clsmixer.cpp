#include "presentation/clsmixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <vector>

namespace qv {

// ---------------------------------------------------------------- clsMixer

clsMixer::clsMixer(std::unique_ptr<MixerDevice> device) : device_(std::move(device)) {
    if (!device_) return;
    for (int i = 0; i < kMixerLineCount; ++i) {
        const auto line = static_cast<MixerLine>(i);
        if (!device_->hasVolume(line)) continue;
        volumeFound_ |= mixerLineBit(line);
        if (device_->hasMute(line)) muteFound_ |= mixerLineBit(line);
    }
}

std::int64_t clsMixer::minVolume(MixerLine line) const {
    return (volumeFound_ & mixerLineBit(line)) ? device_->minVolume(line) : 0;
}

std::int64_t clsMixer::maxVolume(MixerLine line) const {
    return (volumeFound_ & mixerLineBit(line)) ? device_->maxVolume(line) : 0;
}

std::int64_t clsMixer::volume(MixerLine line) const {
    if (!(volumeFound_ & mixerLineBit(line))) return 0;
    return device_->volume(line).value_or(0);
}

void clsMixer::setVolume(MixerLine line, std::int64_t value) {
    if (!(volumeFound_ & mixerLineBit(line))) return;
    const std::int64_t lo = device_->minVolume(line);
    const std::int64_t hi = device_->maxVolume(line);
    (void)device_->setVolume(line, std::clamp(value, lo, std::max(lo, hi)));
}

bool clsMixer::mute(MixerLine line) const {
    if (!(muteFound_ & mixerLineBit(line))) return false;
    return device_->mute(line).value_or(false);
}

void clsMixer::setMute(MixerLine line, bool muted) {
    if (!(muteFound_ & mixerLineBit(line))) return;
    (void)device_->setMute(line, muted);
}

// ------------------------------------------------------------- AlarmVolume

AlarmVolume::AlarmVolume(Opener open, std::function<void(const QString&)> notify)
    : open_(std::move(open)), notify_(std::move(notify)) {}

std::int64_t AlarmVolume::target(int percent, std::int64_t min, std::int64_t max) {
    percent = std::clamp(percent, 0, 100);
    // Exact in integers: percent * range / 100, halves to the even neighbour.
    const std::int64_t num = static_cast<std::int64_t>(percent) * (max - min);
    std::int64_t q = num / 100;
    std::int64_t r = num % 100;
    if (r < 0) {
        r += 100;
        --q;
    }
    if (r > 50 || (r == 50 && (q & 1))) ++q;
    return q + min;
}

void AlarmVolume::noMixer() {
    if (noMixerSaid_) return;
    noMixerSaid_ = true;
    if (notify_) notify_(QString::fromLatin1(kNoMixer));
}

void AlarmVolume::set(int percent) {
    std::unique_ptr<MixerDevice> device = open_ ? open_() : nullptr;
    if (!device) {
        // Nothing is saved then, so the restore has nothing to put back and
        // does not ask for a mixer again. The sound plays at the current volume.
        noMixer();
        return;
    }
    clsMixer m(std::move(device));
    if (!saved_) {
        waveMute_ = m.WaveMute();
        waveInMute_ = m.WaveInMute();
        waveVolume_ = m.WaveVolume();
        waveInVolume_ = m.WaveInVolume();
        saved_ = true;
    }
    m.setWaveMute(false);
    m.setWaveVolume(m.MaxWaveVolume());
    m.setWaveInMute(false);
    const std::int64_t t = target(percent, m.MinWavInVolume(), m.MaxWavInVolume());
    if (t > m.WaveInVolume()) m.setWaveInVolume(t);
}

void AlarmVolume::restore() {
    if (!saved_) return;
    saved_ = false;
    std::unique_ptr<MixerDevice> device = open_ ? open_() : nullptr;
    if (!device) {
        noMixer();
        return;
    }
    clsMixer m(std::move(device));
    m.setWaveMute(waveMute_);
    m.setWaveInMute(waveInMute_);
    m.setWaveVolume(waveVolume_);
    m.setWaveInVolume(waveInVolume_);
}

// ---------------------------------------------------------------- ALSA

namespace {

// ALSA prints its own complaints to stderr; a missing mixer is ours to report.
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

class AlsaMixerDevice : public MixerDevice {
  public:
    AlsaMixerDevice(snd_mixer_t* handle) : handle_(handle) {
        // Candidates per line, first found wins.
        static const std::array<std::vector<const char*>, kMixerLineCount> kNames = {{
            {"Master", "Speaker", "Headphone"},
            {"Mic", "Capture"},
            {"PCM"},
            {"Line", "Aux"},
            {"CD"},
            {"Synth"},
        }};
        for (int i = 0; i < kMixerLineCount; ++i) {
            for (const char* name : kNames[static_cast<std::size_t>(i)]) {
                if (bind(i, name)) break;
            }
        }
    }
    ~AlsaMixerDevice() override { snd_mixer_close(handle_); }

    bool hasVolume(MixerLine l) const override { return line(l).elem != nullptr; }
    bool hasMute(MixerLine l) const override {
        const Line& x = line(l);
        return x.elem && (x.playback ? snd_mixer_selem_has_playback_switch(x.elem)
                                     : snd_mixer_selem_has_capture_switch(x.elem));
    }
    std::int64_t minVolume(MixerLine l) const override { return line(l).min; }
    std::int64_t maxVolume(MixerLine l) const override { return line(l).max; }

    std::optional<std::int64_t> volume(MixerLine l) const override {
        const Line& x = line(l);
        if (!x.elem) return std::nullopt;
        snd_mixer_handle_events(handle_);
        long v = 0;
        const int rc = x.playback ? snd_mixer_selem_get_playback_volume(x.elem, x.channel, &v)
                                  : snd_mixer_selem_get_capture_volume(x.elem, x.channel, &v);
        if (rc < 0) return std::nullopt;
        return v;
    }
    bool setVolume(MixerLine l, std::int64_t value) override {
        const Line& x = line(l);
        if (!x.elem) return false;
        const long v = static_cast<long>(value);
        return (x.playback ? snd_mixer_selem_set_playback_volume_all(x.elem, v)
                           : snd_mixer_selem_set_capture_volume_all(x.elem, v)) >= 0;
    }
    std::optional<bool> mute(MixerLine l) const override {
        if (!hasMute(l)) return std::nullopt;
        const Line& x = line(l);
        snd_mixer_handle_events(handle_);
        int on = 1;
        const int rc = x.playback ? snd_mixer_selem_get_playback_switch(x.elem, x.channel, &on)
                                  : snd_mixer_selem_get_capture_switch(x.elem, x.channel, &on);
        if (rc < 0) return std::nullopt;
        return on == 0;  // a switch that is off silences the line
    }
    bool setMute(MixerLine l, bool muted) override {
        if (!hasMute(l)) return false;
        const Line& x = line(l);
        const int on = muted ? 0 : 1;
        return (x.playback ? snd_mixer_selem_set_playback_switch_all(x.elem, on)
                           : snd_mixer_selem_set_capture_switch_all(x.elem, on)) >= 0;
    }

  private:
    struct Line {
        snd_mixer_elem_t* elem = nullptr;
        bool playback = true;
        snd_mixer_selem_channel_id_t channel = SND_MIXER_SCHN_FRONT_LEFT;
        long min = 0, max = 0;
    };

    const Line& line(MixerLine l) const { return lines_[static_cast<std::size_t>(l)]; }

    bool bind(int index, const char* name) {
        snd_mixer_selem_id_t* sid = nullptr;
        snd_mixer_selem_id_alloca(&sid);
        snd_mixer_selem_id_set_index(sid, 0);
        snd_mixer_selem_id_set_name(sid, name);
        snd_mixer_elem_t* elem = snd_mixer_find_selem(handle_, sid);
        if (!elem) return false;
        Line x;
        x.elem = elem;
        // Output lines have a playback volume; capture-only ones (a microphone
        // without monitoring) are steered by their capture volume.
        if (snd_mixer_selem_has_playback_volume(elem)) {
            x.playback = true;
            if (snd_mixer_selem_get_playback_volume_range(elem, &x.min, &x.max) < 0) return false;
        } else if (snd_mixer_selem_has_capture_volume(elem)) {
            x.playback = false;
            if (snd_mixer_selem_get_capture_volume_range(elem, &x.min, &x.max) < 0) return false;
        } else {
            return false;
        }
        // The first channel the element has (mono elements have only that).
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (x.playback ? snd_mixer_selem_has_playback_channel(elem, ch)
                           : snd_mixer_selem_has_capture_channel(elem, ch)) {
                x.channel = ch;
                break;
            }
        }
        lines_[static_cast<std::size_t>(index)] = x;
        return true;
    }

    snd_mixer_t* handle_;
    std::array<Line, kMixerLineCount> lines_;
};

}  // namespace

std::unique_ptr<MixerDevice> openAlsaMixer() {
    snd_lib_error_set_handler(&silentAlsaError);
    snd_mixer_t* handle = nullptr;
    if (snd_mixer_open(&handle, 0) < 0 || !handle) return nullptr;
    if (snd_mixer_attach(handle, "default") < 0 ||
        snd_mixer_selem_register(handle, nullptr, nullptr) < 0 || snd_mixer_load(handle) < 0) {
        snd_mixer_close(handle);
        return nullptr;
    }
    auto device = std::make_unique<AlsaMixerDevice>(handle);
    // A mixer without any of our lines is of no use for an alarm.
    for (int i = 0; i < kMixerLineCount; ++i)
        if (device->hasVolume(static_cast<MixerLine>(i))) return device;
    return nullptr;
}

}  // namespace qv
