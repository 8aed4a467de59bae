#include "platform/midi/AlsaMidiCodec.h"

namespace platform::midi {

AlsaMidiCodec::AlsaMidiCodec(std::size_t bufferSize)
{
    if (snd_midi_event_new(bufferSize, &parser_) < 0)
        parser_ = nullptr;
    else
        snd_midi_event_no_status(parser_, 1); // every decoded message carries its status byte
}

AlsaMidiCodec::~AlsaMidiCodec()
{
    if (parser_)
        snd_midi_event_free(parser_);
}

void AlsaMidiCodec::encode(const std::uint8_t* bytes, std::size_t length, const std::function<void(const snd_seq_event_t&)>& out)
{
    if (!parser_)
        return;
    for (std::size_t i = 0; i < length; ++i) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        if (snd_midi_event_encode_byte(parser_, bytes[i], &event) == 1 && event.type != SND_SEQ_EVENT_NONE)
            out(event);
    }
}

long AlsaMidiCodec::decode(const snd_seq_event_t& event, std::uint8_t* out, std::size_t capacity)
{
    if (!parser_)
        return -1;
    snd_midi_event_reset_decode(parser_);
    const long n = snd_midi_event_decode(parser_, out, long(capacity), &event);
    if (n == -ENOENT)
        return 0;
    return n;
}

void AlsaMidiCodec::reset()
{
    if (parser_)
        snd_midi_event_reset_encode(parser_);
}

} // namespace platform::midi
