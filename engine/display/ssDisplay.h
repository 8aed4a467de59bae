#pragma once
// The engine's drawing surface: its size, the fonts and textures loaded through its archive
// manager, and the hooks a drawing back end fills in (ssDisplayGL). Used by one thread at a time,
// with the back end's context current on it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ssARKMan;
class ssFont;
struct ssShader;
struct ssTexture;

class ssDisplay
{
public:
    explicit ssDisplay(float scale = 1.0f, const char* resourceRoot = ".");
    virtual ~ssDisplay();
    ssDisplay(const ssDisplay&) = delete;
    ssDisplay& operator=(const ssDisplay&) = delete;

    // Stores the size and the two settings (the depth is handed to every new font), begins a frame
    // and opens the archive manager over the resource root. Returns 0.
    virtual int32_t Init(int32_t width, int32_t height, int32_t depth, int32_t flags);
    virtual void Resize(int32_t width, int32_t height);
    virtual ssFont* CreateFont();
    virtual int32_t BeginFrame();
    virtual int32_t UploadTexture(ssTexture* texture, int32_t filter);
    virtual int32_t DeleteTexture(ssTexture* texture);
    virtual int32_t BindTexture(ssTexture* texture);

    // A font by name: "<family><size>[B][I]" from the family file, scaled by the display scale,
    // else "<name>.fnt", else the first font loaded (null when there is none). The display owns it.
    ssFont* LoadFont(const char* name, const char* directory, const char* archive);
    // A texture by name (shared and counted when already loaded), or null when the file is missing
    // (last error 0x80000005). The display owns it.
    ssTexture* LoadTexture(const char* name, const char* directory, const char* archive, int32_t type,
        int32_t filter);
    // Size of text in a font. With wrap, *width on entry is the line width to wrap at. Without a
    // font the box is 2 x 4. The width is that of the widest line.
    void MeasureText(ssFont* font, const char* text, int32_t* width, int32_t* height, int32_t wrap);
    // Compiles <root>/<name>.vert and <root>/<name>.frag into the shader. 0 or the failure code.
    int32_t LoadShader(ssShader* shader, const char* name) { return LoadShaderFrom(resourceRoot_, shader, name); }
    // The same from any resource root, with no display (any context current).
    static int32_t LoadShaderFrom(const std::string& resourceRoot, ssShader* shader, const char* name);

    int32_t GetWidth() const { return width_; }
    int32_t GetHeight() const { return height_; }
    float GetHalfWidth() const { return halfWidth_; }
    float GetHalfHeight() const { return halfHeight_; }
    float GetScale() const { return scale_; }
    int32_t GetLastError() const { return lastError_; }
    const std::string& GetResourceRoot() const { return resourceRoot_; }
    int GetFontCount() const { return static_cast<int>(fonts_.size()); }
    int GetTextureCount() const { return static_cast<int>(textures_.size()); }

    // Deletes every font and texture through the hooks; the display stays usable and loads them
    // again when next asked. Pointers to them are invalid afterwards.
    void ReleaseResources();

protected:
    // ReleaseResources, then closes the archives; a back end calls it from its own destructor,
    // while its hooks still exist.
    void ReleaseAll();

    int32_t width_ = 0;
    int32_t height_ = 0;
    float halfWidth_ = 0.0f;
    float halfHeight_ = 0.0f;
    std::vector<ssFont*> fonts_;
    std::vector<ssTexture*> textures_;
    ssTexture* currentTexture_ = nullptr;
    float scale_;
    int32_t depth_ = 0;
    int32_t flags_ = 0;
    std::string resourceRoot_;
    std::unique_ptr<ssARKMan> archives_;
    int32_t lastError_ = 0;

private:
    ssFont* LoadFontFrom(const char* name, const char* directory, const char* archive);
};
