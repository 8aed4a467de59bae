#include "engine/record/ssMovieAtoms.h"

#include "platform/encode/ColourDescription.h"
#include "platform/encode/ProResFlavours.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace {

constexpr uint32_t kAudioRate = 48000;

bool near(double rate, double low, double high)
{
    return rate >= low && rate <= high;
}

void writeMatrix(ssAtom* atom)
{
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t v : matrix)
        atom->Write32(v);
}

void writeType(ssAtom* atom, const char* type)
{
    atom->WriteBytes(type, 4);
}

// A length-prefixed name, as handler atoms store it.
void writePascal(ssAtom* atom, const char* text)
{
    const size_t length = std::strlen(text);
    atom->Write8(uint8_t(length));
    atom->WriteBytes(text, length);
}

ssAtom* child(ssAtom* parent, const char* type)
{
    return parent->AddChild(new ssAtom(type));
}

ssAtom* fullChild(ssAtom* parent, const char* type, uint8_t version = 0, uint32_t flags = 0)
{
    ssAtom* atom = child(parent, type);
    atom->WriteVersionFlags(version, flags);
    return atom;
}

void addTrackHeader(ssAtom* trak, uint32_t flags, uint32_t trackId, uint32_t duration, uint16_t volume,
                    uint32_t width, uint32_t height, uint32_t now)
{
    ssAtom* tkhd = fullChild(trak, "tkhd", 0, flags);
    tkhd->Write32(now);
    tkhd->Write32(now);
    tkhd->Write32(trackId);
    tkhd->Write32(0);
    tkhd->Write32(duration);
    tkhd->Write64(0);
    tkhd->Write16(0); // layer
    tkhd->Write16(0); // alternate group
    tkhd->Write16(volume);
    tkhd->Write16(0);
    writeMatrix(tkhd);
    tkhd->Write32(width << 16);
    tkhd->Write32(height << 16);
}

void addEditList(ssAtom* trak, uint32_t duration)
{
    ssAtom* elst = fullChild(child(trak, "edts"), "elst");
    elst->Write32(1);
    elst->Write32(duration);
    elst->Write32(0);
    elst->Write32(0x10000);
}

void addMediaHeader(ssAtom* mdia, uint32_t timeScale, uint32_t duration, uint32_t now)
{
    ssAtom* mdhd = fullChild(mdia, "mdhd");
    mdhd->Write32(now);
    mdhd->Write32(now);
    mdhd->Write32(timeScale);
    mdhd->Write32(duration);
    mdhd->Write16(0); // language
    mdhd->Write16(0); // quality
}

void addHandler(ssAtom* mdia, const char* subtype, const char* manufacturer, const char* name)
{
    ssAtom* hdlr = fullChild(mdia, "hdlr");
    writeType(hdlr, "mhlr");
    writeType(hdlr, subtype);
    if (manufacturer)
        writeType(hdlr, manufacturer);
    else
        hdlr->Write32(0);
    hdlr->Write32(0);
    hdlr->Write32(0);
    writePascal(hdlr, name);
}

void addDataReference(ssAtom* minf)
{
    ssAtom* dref = fullChild(child(minf, "dinf"), "dref");
    dref->Write32(1);
    fullChild(dref, "url ", 0, 1); // the data is in this file
}

void addSampleEntryHeader(ssAtom* entry)
{
    for (int i = 0; i < 6; ++i)
        entry->Write8(0);
    entry->Write16(1); // data reference index
}

void addChunkOffsets(ssAtom* stbl, const int64_t* offsets, int64_t count)
{
    ssAtom* co64 = fullChild(stbl, "co64");
    co64->Grow(size_t(count) * 8 + 4);
    co64->Write32(uint32_t(count));
    for (int64_t i = 0; i < count; ++i)
        co64->Write64(uint64_t(offsets[i]));
}

// Sample tables of a track whose samples all have one duration, each in its own chunk; all of one
// size, or of the sizes listed.
void addOneSamplePerChunk(ssAtom* stbl, uint32_t samples, uint32_t duration, uint32_t size, const int64_t* offsets,
                          const uint32_t* sizes = nullptr)
{
    ssAtom* stts = fullChild(stbl, "stts");
    stts->Write32(1);
    stts->Write32(samples);
    stts->Write32(duration);
    ssAtom* stsc = fullChild(stbl, "stsc");
    stsc->Write32(1);
    stsc->Write32(1); // first chunk
    stsc->Write32(1); // samples per chunk
    stsc->Write32(1); // sample description
    ssAtom* stsz = fullChild(stbl, "stsz");
    stsz->Write32(sizes ? 0 : size);
    stsz->Write32(samples);
    if (sizes) {
        stsz->Grow(size_t(samples) * 4 + 4);
        for (uint32_t i = 0; i < samples; ++i)
            stsz->Write32(sizes[i]);
    }
    addChunkOffsets(stbl, offsets, samples);
}

uint32_t toField(double value)
{
    return value <= 0 ? 0u : value >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(std::llround(value));
}

void addVideoSampleDescription(ssAtom* stsd, const ssMovieDescription& movie)
{
    // Codecs outside the ProRes family are recorded as H.264.
    const auto* flavour = platform::encode::proResFlavour(movie.codecIndex);
    const char* fourcc = flavour ? flavour->fourcc : "avc1";
    const char* compressorName = flavour ? flavour->compressorName : "H.264";
    ssAtom* entry = child(stsd, fourcc);
    addSampleEntryHeader(entry);
    entry->Write16(0); // version
    entry->Write16(0); // revision
    writeType(entry, "apl0");
    entry->Write32(32); // temporal quality
    entry->Write32(32); // spatial quality
    entry->Write16(uint16_t(movie.width));
    entry->Write16(uint16_t(movie.height));
    entry->Write32(0x00480000);
    entry->Write32(0x00480000);
    entry->Write32(0); // data size
    entry->Write16(1); // frames per sample
    char name[32] = {};
    const size_t length = std::min<size_t>(std::strlen(compressorName), 31);
    name[0] = char(length);
    std::memcpy(name + 1, compressorName, length);
    entry->WriteBytes(name, 32);
    entry->Write16(24); // colour pictures without alpha
    entry->Write16(0xFFFF);
    if (!flavour && movie.decoderConfiguration) {
        ssAtom* avcC = child(entry, "avcC");
        avcC->Grow(movie.decoderConfiguration->size());
        avcC->WriteBytes(movie.decoderConfiguration->data(), movie.decoderConfiguration->size());
    }

    ssAtom* pasp = child(entry, "pasp");
    pasp->Write32(1);
    pasp->Write32(1);
    ssAtom* fiel = child(entry, "fiel");
    if (movie.interlaced) {
        fiel->Write8(2);
        fiel->Write8(movie.bottomFieldFirst ? 6 : 1); // separated fields, bottom or top first
        ssAtom* orfo = child(entry, "orfo");
        orfo->Write8(2);
        orfo->Write8(0);
    } else {
        fiel->Write8(1);
        fiel->Write8(0);
    }
    const auto colour = platform::encode::colourForHeight(movie.height);
    ssAtom* colr = child(entry, "colr");
    writeType(colr, "nclc");
    colr->Write16(colour.primaries);
    colr->Write16(colour.transfer);
    colr->Write16(colour.matrix);
    colr->Write32(0);
}

void addVideoTrack(ssAtom* moov, const ssMovieDescription& movie, ssMovieTimeBase base, uint32_t duration,
                   uint32_t now)
{
    ssAtom* trak = child(moov, "trak");
    addTrackHeader(trak, 0x0F, 1, duration, 0x0100, uint32_t(movie.width), uint32_t(movie.height), now);
    ssAtom* load = child(trak, "load");
    load->Write32(0);
    load->Write32(0);
    load->Write32(0);
    load->Write32(256);
    addEditList(trak, duration);
    // Editors find a picture's time code through this reference to the time-code track.
    child(child(trak, "tref"), "tmcd")->Write32(2);
    ssAtom* mdia = child(trak, "mdia");
    addMediaHeader(mdia, base.timeScale, duration, now);
    addHandler(mdia, "vide", "appl", "Apple Video Media Handler");
    ssAtom* minf = child(mdia, "minf");
    ssAtom* vmhd = fullChild(minf, "vmhd", 0, 1);
    for (int i = 0; i < 4; ++i)
        vmhd->Write16(0);
    addDataReference(minf);
    ssAtom* stbl = child(minf, "stbl");
    ssAtom* stsd = fullChild(stbl, "stsd");
    stsd->Write32(1);
    addVideoSampleDescription(stsd, movie);
    addOneSamplePerChunk(stbl, uint32_t(movie.frames), base.sampleDuration, uint32_t(movie.slotSize),
                         movie.videoOffsets, movie.sampleSizes);
}

void addTimecodeTrack(ssAtom* moov, const ssMovieDescription& movie, ssMovieTimeBase base, uint32_t duration,
                      uint32_t now)
{
    ssAtom* trak = child(moov, "trak");
    addTrackHeader(trak, 3, 2, 0, 0, 0, 0, now);
    ssAtom* mdia = child(trak, "mdia");
    addMediaHeader(mdia, base.timeScale, duration, now);
    addHandler(mdia, "tmcd", "appl", "Time Code Media Handler");
    ssAtom* minf = child(mdia, "minf");
    ssAtom* gmhd = child(minf, "gmhd");
    ssAtom* gmin = fullChild(gmhd, "gmin");
    for (int i = 0; i < 4; ++i)
        gmin->Write16(0);
    gmin->Write32(0);
    ssAtom* text = child(gmhd, "text");
    text->Write16(8);
    text->WriteBytes("timecode", 8);
    addDataReference(minf);
    ssAtom* stbl = child(minf, "stbl");
    ssAtom* stsd = fullChild(stbl, "stsd");
    stsd->Write32(1);
    ssAtom* tmcd = child(stsd, "tmcd");
    addSampleEntryHeader(tmcd);
    tmcd->Write32(0);
    // 24-hour wrap and counter, plus drop frame at the NTSC rates.
    tmcd->Write32(ssIsDropFrameRate(movie.frameRate) ? 0x0B : 0x0A);
    tmcd->Write32(uint32_t(movie.frameRate * 100));
    tmcd->Write32(100);
    tmcd->Write8(uint8_t(int(movie.frameRate + 0.9)));
    tmcd->Write8(0);
    tmcd->Write16(0);
    // The one sample spans the whole movie.
    addOneSamplePerChunk(stbl, 1, duration, 4, &movie.timecodeOffset);
}

void addAudioTrack(ssAtom* moov, const ssMovieDescription& movie, ssMovieTimeBase base, uint32_t now)
{
    const int64_t samples = movie.fullChunks * kAudioRate + movie.partialSamples;
    const int64_t chunks = movie.fullChunks + (movie.partialSamples > 0 ? 1 : 0);
    const uint32_t duration = toField(double(samples) * base.timeScale / kAudioRate);
    ssAtom* trak = child(moov, "trak");
    addTrackHeader(trak, 3, 3, duration, 0x0100, 0, 0, now);
    addEditList(trak, duration);
    ssAtom* mdia = child(trak, "mdia");
    addMediaHeader(mdia, kAudioRate, uint32_t(samples), now);
    addHandler(mdia, "soun", nullptr, "Apple Sound Media Handler");
    ssAtom* minf = child(mdia, "minf");
    ssAtom* smhd = fullChild(minf, "smhd", 0, 1);
    smhd->Write16(0);
    smhd->Write16(0);
    addDataReference(minf);
    ssAtom* stbl = child(minf, "stbl");
    ssAtom* stsd = fullChild(stbl, "stsd");
    stsd->Write32(1);
    ssAtom* lpcm = child(stsd, "lpcm");
    addSampleEntryHeader(lpcm);
    lpcm->Write16(2); // sound description version 2
    lpcm->Write16(0);
    lpcm->Write32(0);
    lpcm->Write16(3);
    lpcm->Write16(16);
    lpcm->Write16(0xFFFE);
    lpcm->Write16(0);
    lpcm->Write32(0x00010000);
    lpcm->Write32(72);
    lpcm->WriteDouble(double(kAudioRate));
    lpcm->Write32(uint32_t(movie.channels));
    lpcm->Write32(0x7F000000);
    lpcm->Write32(16);
    lpcm->Write32(12); // signed integer, packed, little-endian
    lpcm->Write32(uint32_t(movie.channels * 2));
    lpcm->Write32(1);
    if (movie.channels > 2) {
        ssAtom* chan = fullChild(lpcm, "chan");
        chan->Write32(0); // layout from the channel descriptions
        chan->Write32(0);
        chan->Write32(uint32_t(movie.channels));
        for (int i = 0; i < movie.channels; ++i) {
            chan->Write32(0x10000u + uint32_t(i)); // discrete channel i
            chan->Write32(0);
            chan->WriteFloat(0);
            chan->WriteFloat(0);
            chan->WriteFloat(0);
        }
    }
    ssAtom* stts = fullChild(stbl, "stts");
    stts->Write32(1);
    stts->Write32(uint32_t(samples));
    stts->Write32(1);
    ssAtom* stsz = fullChild(stbl, "stsz");
    stsz->Write32(uint32_t(movie.channels * 2));
    stsz->Write32(uint32_t(samples));
    ssAtom* stsc = fullChild(stbl, "stsc");
    const bool partial = movie.partialSamples > 0;
    const bool both = partial && movie.fullChunks > 0;
    stsc->Write32(both ? 2 : 1);
    if (movie.fullChunks > 0 || !partial) {
        stsc->Write32(1);
        stsc->Write32(kAudioRate);
        stsc->Write32(1);
    }
    if (partial) {
        stsc->Write32(uint32_t(movie.fullChunks + 1));
        stsc->Write32(uint32_t(movie.partialSamples));
        stsc->Write32(1);
    }
    addChunkOffsets(stbl, movie.audioOffsets, chunks);
}

} // namespace

ssMovieTimeBase ssTimeBaseForRate(double rate)
{
    if (near(rate, 59.93, 59.95))
        return {60000, 1001};
    if (near(rate, 29.97, 29.98))
        return {30000, 1001};
    if (near(rate, 23.97, 23.99))
        return {24000, 1001};
    const double thousandths = std::round(rate * 1000.0);
    if (thousandths >= 1000.0 && thousandths <= 1000000.0)
        return {uint32_t(thousandths), 1000};
    return {60000, 1001};
}

bool ssIsDropFrameRate(double rate)
{
    return near(rate, 29.97, 29.98) || near(rate, 59.93, 59.95);
}

int ssTimecodeFrames(double rate)
{
    return int(rate + 0.9);
}

uint32_t ssMovieTimeNow()
{
    return uint32_t(int64_t(std::time(nullptr)) + 2082844800LL);
}

std::unique_ptr<ssAtom> ssBuildMovieAtom(const ssMovieDescription& movie)
{
    const ssMovieTimeBase base = ssTimeBaseForRate(movie.frameRate);
    // Frame count times the sample duration is the track length in the time scale, exactly.
    const uint32_t duration = toField(double(movie.frames) * double(base.sampleDuration));
    const uint32_t now = movie.creationTime;
    auto moov = std::make_unique<ssAtom>("moov");
    ssAtom* mvhd = fullChild(moov.get(), "mvhd");
    mvhd->Write32(now);
    mvhd->Write32(now);
    mvhd->Write32(base.timeScale);
    mvhd->Write32(duration);
    mvhd->Write32(0x00010000);
    mvhd->Write16(0x0100);
    for (int i = 0; i < 10; ++i)
        mvhd->Write8(0);
    writeMatrix(mvhd);
    for (int i = 0; i < 6; ++i)
        mvhd->Write32(0);
    mvhd->Write32(movie.channels > 0 ? 4 : 3);
    addVideoTrack(moov.get(), movie, base, duration, now);
    addTimecodeTrack(moov.get(), movie, base, duration, now);
    if (movie.channels > 0)
        addAudioTrack(moov.get(), movie, base, now);
    return moov;
}
