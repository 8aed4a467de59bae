#include "engine/display/ssDisplay.h"

#include "engine/base/ssMessage.h"
#include "engine/base/ssStrEqualNoCase.h"
#include "engine/display/ssFont.h"
#include "engine/display/ssReadExactly.h"
#include "engine/display/ssShader.h"
#include "engine/files/ssARKMan.h"
#include "engine/texture/ssTexture.h"
#include "engine/texture/ssTextureLoader.h"

#include <fcntl.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

const char* orEmpty(const char* s)
{
    return s ? s : "";
}

struct FontName
{
    std::string familyFile; // family, then "B" and "I" as asked, then ".fnt"
    int size = 0;
};

// "<family><size>[B][I]": a trailing "I" and then "B" are taken off, then one or two digits.
FontName parseFontName(std::string name)
{
    FontName parsed;
    const bool italic = !name.empty() && name.back() == 'I';
    if (italic)
        name.pop_back();
    const bool bold = !name.empty() && name.back() == 'B';
    if (bold)
        name.pop_back();
    int digits = 0;
    while (digits < 2 && digits < static_cast<int>(name.size())
        && std::isdigit(static_cast<unsigned char>(name[name.size() - 1 - digits])))
        ++digits;
    if (digits > 0)
        parsed.size = std::stoi(name.substr(name.size() - digits));
    name.resize(name.size() - digits);
    parsed.familyFile = name + (bold ? "B" : "") + (italic ? "I" : "") + ".fnt";
    return parsed;
}

// Shader sources are small text files; anything larger is not one.
constexpr int64_t maxShaderBytes = 1 << 20;

bool readSource(const std::string& path, std::string& source)
{
    ssFile file;
    if (!file.Open(path.c_str(), O_RDONLY))
        return false;
    const int64_t size = file.GetSize();
    if (size < 0 || size > maxShaderBytes)
        return false;
    source.assign(static_cast<size_t>(size), '\0');
    return ssReadExactly(&file, source.data(), size);
}

} // namespace

ssDisplay::ssDisplay(float scale, const char* resourceRoot) : scale_(scale), resourceRoot_(orEmpty(resourceRoot)) {}

ssDisplay::~ssDisplay()
{
    ReleaseAll();
}

void ssDisplay::ReleaseAll()
{
    ReleaseResources();
    archives_.reset();
}

void ssDisplay::ReleaseResources()
{
    // Fonts go first: their atlases are deleted through the display.
    for (ssFont* font : fonts_)
        delete font;
    fonts_.clear();
    for (ssTexture* texture : textures_) {
        DeleteTexture(texture);
        delete texture;
    }
    textures_.clear();
    currentTexture_ = nullptr;
}

int32_t ssDisplay::Init(int32_t width, int32_t height, int32_t depth, int32_t flags)
{
    width_ = width;
    height_ = height;
    depth_ = depth;
    flags_ = flags;
    halfWidth_ = width / 2.0f;
    halfHeight_ = height / 2.0f;
    BeginFrame();
    archives_ = std::make_unique<ssARKMan>(resourceRoot_.c_str());
    return 0;
}

void ssDisplay::Resize(int32_t width, int32_t height)
{
    width_ = width;
    height_ = height;
    halfWidth_ = width / 2.0f;
    halfHeight_ = height / 2.0f;
}

ssFont* ssDisplay::CreateFont()
{
    return new ssFont(depth_);
}

int32_t ssDisplay::BeginFrame()
{
    return 0;
}

int32_t ssDisplay::UploadTexture(ssTexture*, int32_t)
{
    return 0;
}

int32_t ssDisplay::DeleteTexture(ssTexture*)
{
    return 0;
}

int32_t ssDisplay::BindTexture(ssTexture*)
{
    return 0;
}

ssFont* ssDisplay::LoadFont(const char* name, const char* directory, const char* archive)
{
    if (!name || !*name)
        return nullptr;
    for (ssFont* font : fonts_) {
        if (ssStrEqualNoCase(font->GetName(), name) == 0) {
            ++font->useCount;
            return font;
        }
    }
    return LoadFontFrom(name, orEmpty(directory), orEmpty(archive));
}

ssFont* ssDisplay::LoadFontFrom(const char* name, const char* directory, const char* archive)
{
    ssFont* const fallback = fonts_.empty() ? nullptr : fonts_.front();
    if (!archives_)
        return fallback;
    const FontName parsed = parseFontName(name);
    std::unique_ptr<ssFont> font(CreateFont());
    std::unique_ptr<ssFile> stream = archives_->Open(parsed.familyFile.c_str(), directory, archive);
    float scale = 1.0f;
    if (stream) {
        uint32_t version = 0;
        uint8_t count = 0;
        if (!ssReadExactly(stream.get(), &version, 4) || version != ssFontFamilyVersion) {
            ssMessage(2, "Font family file %s is wrong version.  %x vs. 101", parsed.familyFile.c_str(), version);
            return fallback;
        }
        uint8_t sizes[255];
        uint32_t offsets[255];
        if (!ssReadExactly(stream.get(), &count, 1) || count == 0 || !ssReadExactly(stream.get(), sizes, count)
            || !ssReadExactly(stream.get(), offsets, 4 * static_cast<int64_t>(count))) {
            ssMessage(2, "Could not load font %s", name);
            return fallback;
        }
        // The first size at least as large as asked for, else the largest.
        const float wanted = parsed.size * scale_;
        int chosen = count - 1;
        for (int i = 0; i < count; ++i) {
            if (sizes[i] >= wanted) {
                chosen = i;
                break;
            }
        }
        scale = parsed.size > 0 && sizes[chosen] > 0 ? wanted / sizes[chosen] : 1.0f;
        if (stream->Seek(offsets[chosen], SEEK_SET) != static_cast<int64_t>(offsets[chosen])) {
            ssMessage(2, "Could not load font %s", name);
            return fallback;
        }
    } else {
        ssMessage(2, "Could not load font %s", parsed.familyFile.c_str());
        const std::string single = std::string(name) + ".fnt";
        stream = archives_->Open(single.c_str(), directory, archive);
        if (!stream)
            return fallback;
    }
    if (font->Load(stream.get(), scale, scale) != 0) {
        ssMessage(2, "Could not load font %s", name);
        return fallback;
    }
    font->SetName(name);
    font->useCount = 1;
    fonts_.push_back(font.get());
    return font.release();
}

ssTexture* ssDisplay::LoadTexture(const char* name, const char* directory, const char* archive, int32_t type,
    int32_t filter)
{
    name = orEmpty(name);
    directory = orEmpty(directory);
    archive = orEmpty(archive);
    for (ssTexture* texture : textures_) {
        if (ssStrEqualNoCase(texture->name.c_str(), name) == 0
            && ssStrEqualNoCase(texture->directory.c_str(), directory) == 0
            && ssStrEqualNoCase(texture->archive.c_str(), archive) == 0) {
            ++texture->useCount;
            return texture;
        }
    }
    std::unique_ptr<ssFile> stream = archives_ ? archives_->Open(name, directory, archive) : nullptr;
    if (!stream) {
        lastError_ = ssTexFileMissing;
        ssMessage(2, "Could not load texture %s", name);
        return nullptr;
    }
    auto* texture = new ssTexture;
    texture->name = name;
    texture->directory = directory;
    texture->archive = archive;
    lastError_ = ssTextureLoader(texture, stream.get(), type, scale_);
    texture->useCount = 1;
    textures_.push_back(texture);
    stream->Close();
    stream.reset();
    UploadTexture(texture, filter);
    return texture;
}

void ssDisplay::MeasureText(ssFont* font, const char* text, int32_t* width, int32_t* height, int32_t wrap)
{
    if (!font) {
        *width = 2;
        *height = 4;
        return;
    }
    const int32_t limit = *width;
    const int32_t glyphHeight = font->GlyphHeight();
    int32_t line = 0;
    int32_t widest = 0;
    int32_t total = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(orEmpty(text)); *p; ++p) {
        const unsigned char c = *p;
        if (c < ssFontFirstCode) {
            if (c == '\b') {
                line += 4 * font->SpaceAdvance();
            } else if (c == '\n') {
                total += glyphHeight;
                line = 0;
            } else {
                line = 0;
            }
        } else if (c == ' ') {
            line += font->SpaceAdvance();
        } else {
            line += font->Advance(c);
        }
        widest = std::max(widest, line);
        if (wrap && line > limit) {
            line = 0;
            total += glyphHeight;
        }
    }
    *width = widest;
    *height = total + glyphHeight;
}

int32_t ssDisplay::LoadShaderFrom(const std::string& resourceRoot, ssShader* shader, const char* name)
{
    const std::string base = resourceRoot + "/" + orEmpty(name);
    std::string vertex;
    std::string fragment;
    if (!readSource(base + ".vert", vertex)) {
        ssMessage(2, "Shader Error:Load VS");
        return -1;
    }
    if (!readSource(base + ".frag", fragment)) {
        ssMessage(2, "Shader Error:Load FS");
        return -1;
    }
    return ssCompileShader(shader, vertex.c_str(), fragment.c_str());
}
