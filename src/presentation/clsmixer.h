#pragma once
// Mixer volume: the lines of the sound card's mixer, and the alarm volume
// routine that makes an alarm heard (unmute, master to its maximum, playback
// raised to the asked percentage) and puts everything back afterwards.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace qv {

// The mixer lines, by the names of clsMixer's properties. Note that kWave is
// the master output and kWaveIn the wave playback.
enum class MixerLine : int { kWave = 0, kMicro, kWaveIn, kLineIn, kCD, kMIDI };
inline constexpr int kMixerLineCount = 6;
// Bit of a line in clsMixer's found sets (1, 2, 4, 8, 16, 32).
constexpr int mixerLineBit(MixerLine line) { return 1 << static_cast<int>(line); }

// One mixer device with its controls in their raw ranges. The ALSA one is
// openAlsaMixer(); tests fake it.
class MixerDevice {
  public:
    virtual ~MixerDevice() = default;
    virtual bool hasVolume(MixerLine line) const = 0;
    virtual bool hasMute(MixerLine line) const = 0;
    virtual std::int64_t minVolume(MixerLine line) const = 0;
    virtual std::int64_t maxVolume(MixerLine line) const = 0;
    // Nothing when the control is missing or the query fails.
    virtual std::optional<std::int64_t> volume(MixerLine line) const = 0;
    virtual bool setVolume(MixerLine line, std::int64_t value) = 0;
    virtual std::optional<bool> mute(MixerLine line) const = 0;
    virtual bool setMute(MixerLine line, bool muted) = 0;
};

// The ALSA simple mixer of the "default" device: Master (else Speaker,
// Headphone), Mic (else Capture), PCM, Line (else Aux), CD, Synth. Null when
// there is no card or server or any step fails.
std::unique_ptr<MixerDevice> openAlsaMixer();

class clsMixer {
  public:
    // A null device is a mixer without lines: reads give 0, writes do nothing.
    explicit clsMixer(std::unique_ptr<MixerDevice> device);

    bool opened() const { return device_ != nullptr; }
    // Which lines have a volume (a mute) control, as bits of mixerLineBit.
    int volumeFound() const { return volumeFound_; }
    int muteFound() const { return muteFound_; }

    // Any line by its enum; reads give 0 when the control is missing or the
    // query fails; volume writes are clamped to the control's bounds.
    std::int64_t minVolume(MixerLine line) const;
    std::int64_t maxVolume(MixerLine line) const;
    std::int64_t volume(MixerLine line) const;
    void setVolume(MixerLine line, std::int64_t value);
    bool mute(MixerLine line) const;
    void setMute(MixerLine line, bool muted);

    // The properties, named by line.
    std::int64_t WaveVolume() const { return volume(MixerLine::kWave); }
    void setWaveVolume(std::int64_t v) { setVolume(MixerLine::kWave, v); }
    bool WaveMute() const { return mute(MixerLine::kWave); }
    void setWaveMute(bool m) { setMute(MixerLine::kWave, m); }
    std::int64_t MinWaveVolume() const { return minVolume(MixerLine::kWave); }
    std::int64_t MaxWaveVolume() const { return maxVolume(MixerLine::kWave); }

    std::int64_t MicroVolume() const { return volume(MixerLine::kMicro); }
    void setMicroVolume(std::int64_t v) { setVolume(MixerLine::kMicro, v); }
    bool MicroMute() const { return mute(MixerLine::kMicro); }
    void setMicroMute(bool m) { setMute(MixerLine::kMicro, m); }
    std::int64_t MinMicVolume() const { return minVolume(MixerLine::kMicro); }
    std::int64_t MaxMicVolume() const { return maxVolume(MixerLine::kMicro); }

    std::int64_t WaveInVolume() const { return volume(MixerLine::kWaveIn); }
    void setWaveInVolume(std::int64_t v) { setVolume(MixerLine::kWaveIn, v); }
    bool WaveInMute() const { return mute(MixerLine::kWaveIn); }
    void setWaveInMute(bool m) { setMute(MixerLine::kWaveIn, m); }
    std::int64_t MinWavInVolume() const { return minVolume(MixerLine::kWaveIn); }
    std::int64_t MaxWavInVolume() const { return maxVolume(MixerLine::kWaveIn); }

    std::int64_t LineInVolume() const { return volume(MixerLine::kLineIn); }
    void setLineInVolume(std::int64_t v) { setVolume(MixerLine::kLineIn, v); }
    bool LineInMute() const { return mute(MixerLine::kLineIn); }
    void setLineInMute(bool m) { setMute(MixerLine::kLineIn, m); }
    std::int64_t MinLineInVolume() const { return minVolume(MixerLine::kLineIn); }
    std::int64_t MaxLineInVolume() const { return maxVolume(MixerLine::kLineIn); }

    std::int64_t CD_Volume() const { return volume(MixerLine::kCD); }
    void setCD_Volume(std::int64_t v) { setVolume(MixerLine::kCD, v); }
    bool CD_Mute() const { return mute(MixerLine::kCD); }
    void setCD_Mute(bool m) { setMute(MixerLine::kCD, m); }
    std::int64_t MinCDVolume() const { return minVolume(MixerLine::kCD); }
    std::int64_t MaxCDVolume() const { return maxVolume(MixerLine::kCD); }

    std::int64_t MIDIVolume() const { return volume(MixerLine::kMIDI); }
    void setMIDIVolume(std::int64_t v) { setVolume(MixerLine::kMIDI, v); }
    bool MIDIMute() const { return mute(MixerLine::kMIDI); }
    void setMIDIMute(bool m) { setMute(MixerLine::kMIDI, m); }
    std::int64_t MinMidVolume() const { return minVolume(MixerLine::kMIDI); }
    std::int64_t MaxMidVolume() const { return maxVolume(MixerLine::kMIDI); }

  private:
    std::unique_ptr<MixerDevice> device_;
    int volumeFound_ = 0;
    int muteFound_ = 0;
};

// The alarm volume routine. One per program: its saved state lives from the
// first set until the next restore.
class AlarmVolume {
  public:
    using Opener = std::function<std::unique_ptr<MixerDevice>()>;
    static constexpr const char* kNoMixer = "No mixer found!";

    // `notify` is told "No mixer found!" the first time a mixer is needed and
    // none opens; later misses stay quiet (an alarm in interval mode would
    // otherwise say it at every play).
    AlarmVolume(Opener open, std::function<void(const QString&)> notify);

    // Unmutes, sets the master output to its maximum and raises (never lowers)
    // the playback volume to `percent` of its range. The values found before
    // the first set are kept until restore.
    void set(int percent);
    // Puts back what the first set found; nothing when nothing was saved.
    void restore();
    bool saved() const { return saved_; }

    // The playback target for `percent` (clamped to 0..100) of min..max,
    // rounded half to even.
    static std::int64_t target(int percent, std::int64_t min, std::int64_t max);

  private:
    Opener open_;
    std::function<void(const QString&)> notify_;
    void noMixer();

    bool saved_ = false;
    bool noMixerSaid_ = false;
    std::int64_t waveVolume_ = 0;
    std::int64_t waveInVolume_ = 0;
    bool waveMute_ = false;
    bool waveInMute_ = false;
};

}  // namespace qv
