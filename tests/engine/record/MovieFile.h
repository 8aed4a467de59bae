#pragma once

// A small QuickTime atom dumper for the tests: reads a movie file into its atom tree, independent
// of the writer's own code.

#include <cstdint>
#include <fstream>
#include <algorithm>
#include <string>
#include <vector>

namespace testsupport {

struct Atom {
    std::string type;
    int64_t offset = 0;  // of the size field
    int64_t size = 0;
    int64_t payload = 0; // first byte after the header
    std::vector<Atom> children;

    const Atom* child(const std::string& t, int nth = 0) const
    {
        for (const Atom& a : children)
            if (a.type == t && nth-- == 0)
                return &a;
        return nullptr;
    }
    // Path like "trak/mdia/minf/stbl/co64", taking the first match at every level.
    const Atom* find(const std::string& path) const
    {
        const Atom* at = this;
        size_t start = 0;
        while (at && start <= path.size()) {
            const size_t slash = path.find('/', start);
            at = at->child(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
            if (slash == std::string::npos)
                break;
            start = slash + 1;
        }
        return at;
    }
};

class MovieFile {
public:
    // Reads the atoms before the media data whole, and only the headers of the rest.
    explicit MovieFile(const std::string& path) : path_(path)
    {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        fileSize = int64_t(in.tellg());
        int64_t at = 0;
        while (at + 16 <= fileSize) {
            const std::vector<uint8_t> head = read(at, 16);
            Atom a;
            a.offset = at;
            a.type.assign(reinterpret_cast<const char*>(&head[4]), 4);
            a.size = int64_t(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
            a.payload = at + 8;
            if (a.size == 1) {
                a.size = 0;
                for (int i = 8; i < 16; ++i)
                    a.size = a.size << 8 | head[size_t(i)];
                a.payload = at + 16;
            }
            if (a.size < 8)
                break;
            if (a.type != "mdat") {
                bytes.resize(size_t(at + a.size));
                const std::vector<uint8_t> whole = read(at, a.size);
                std::copy(whole.begin(), whole.end(), bytes.begin() + at);
                std::vector<Atom> one;
                parse(at, at + a.size, one);
                if (!one.empty())
                    a = one[0];
            }
            top.children.push_back(a);
            at += a.size;
        }
    }

    std::vector<uint8_t> read(int64_t offset, int64_t length) const
    {
        std::vector<uint8_t> out(size_t(std::max<int64_t>(length, 0)));
        std::ifstream in(path_, std::ios::binary);
        in.seekg(offset);
        in.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
        out.resize(size_t(in.gcount()));
        return out;
    }

    uint64_t u(int64_t at, int count) const
    {
        uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v = v << 8 | (at + i < int64_t(bytes.size()) ? bytes[size_t(at + i)] : 0);
        return v;
    }
    uint32_t u32(int64_t at) const { return uint32_t(u(at, 4)); }
    uint16_t u16(int64_t at) const { return uint16_t(u(at, 2)); }
    uint8_t u8(int64_t at) const { return uint8_t(u(at, 1)); }
    uint64_t u64(int64_t at) const { return u(at, 8); }

    // The n-th track whose handler has this subtype ("vide", "soun", "tmcd").
    const Atom* track(const std::string& handler) const
    {
        const Atom* moov = top.child("moov");
        for (int i = 0; moov && moov->child("trak", i); ++i) {
            const Atom* trak = moov->child("trak", i);
            const Atom* hdlr = trak->find("mdia/hdlr");
            if (hdlr && std::string(reinterpret_cast<const char*>(&bytes[size_t(hdlr->payload + 8)]), 4) == handler)
                return trak;
        }
        return nullptr;
    }
    const Atom* sampleEntry(const Atom* trak) const
    {
        const Atom* stsd = trak ? trak->find("mdia/minf/stbl/stsd") : nullptr;
        return stsd && !stsd->children.empty() ? &stsd->children[0] : nullptr;
    }
    std::vector<uint64_t> chunkOffsets(const Atom* trak) const
    {
        std::vector<uint64_t> out;
        const Atom* co64 = trak ? trak->find("mdia/minf/stbl/co64") : nullptr;
        if (!co64)
            return out;
        const uint32_t n = u32(co64->payload + 4);
        for (uint32_t i = 0; i < n; ++i)
            out.push_back(u64(co64->payload + 8 + 8 * i));
        return out;
    }

    std::vector<uint8_t> bytes; // the file up to the media data
    int64_t fileSize = 0;
    Atom top;

private:
    std::string path_;

    // Bytes before the children of the atoms that have both fields and children.
    static int64_t childStart(const std::string& type)
    {
        if (type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl" ||
            type == "dinf" || type == "edts" || type == "gmhd" || type == "tref")
            return 0;
        if (type == "stsd" || type == "dref")
            return 8;
        if (type == "ap4h" || type == "apch" || type == "apcn" || type == "apcs" || type == "apco" ||
            type == "avc1")
            return 78;
        if (type == "lpcm")
            return 64;
        return -1;
    }

    void parse(int64_t from, int64_t to, std::vector<Atom>& out)
    {
        int64_t at = from;
        while (at + 8 <= to) {
            Atom a;
            a.offset = at;
            a.type.assign(reinterpret_cast<const char*>(&bytes[size_t(at + 4)]), 4);
            a.size = u32(at);
            a.payload = at + 8;
            if (a.size == 1) {
                a.size = int64_t(u64(at + 8));
                a.payload = at + 16;
            }
            if (a.size < 8)
                break;
            const int64_t start = childStart(a.type);
            if (start >= 0)
                parse(a.payload + start, std::min(at + a.size, to), a.children);
            out.push_back(a);
            at += a.size;
        }
    }
};

} // namespace testsupport
