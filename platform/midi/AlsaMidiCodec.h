#pragma once
// MIDI bytes to ALSA sequencer events and back (snd_midi_event). Encoding keeps running status
// and partial messages across calls; decoding writes every message with its own status byte.
// Needs no sequencer device, only the library.
#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform::midi {

class AlsaMidiCodec {
public:
    explicit AlsaMidiCodec(std::size_t bufferSize = 4096);
    ~AlsaMidiCodec();
    AlsaMidiCodec(const AlsaMidiCodec&) = delete;
    AlsaMidiCodec& operator=(const AlsaMidiCodec&) = delete;

    bool isValid() const { return parser_ != nullptr; }
    // Calls out for every complete event the bytes finish (sysex data stays valid during the call).
    void encode(const std::uint8_t* bytes, std::size_t length, const std::function<void(const snd_seq_event_t&)>& out);
    // The bytes of one event; 0 for an event that carries no MIDI bytes, negative on error
    // (too small a buffer included).
    long decode(const snd_seq_event_t& event, std::uint8_t* out, std::size_t capacity);
    void reset();

private:
    snd_midi_event_t* parser_ = nullptr;
};

} // namespace platform::midi
