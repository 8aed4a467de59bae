#pragma once
// A computer screen as an output device. DrawScreen draws the engine's current frame, letterboxed,
// into the current GL context (the output window's, on that window's render thread).

#include "engine/output/ssBaseOutput.h"
#include "engine/display/ssShader.h"

#include <cstdint>
#include <mutex>

class ssDisplayGL;
class ssScreenSource;

class ssDVIOutput : public ssBaseOutput {
public:
    static constexpr int32_t kStateStopped = 3;

    ssDVIOutput();
    ~ssDVIOutput() override;

    void ClearFrame() override;
    // Null source detaches. The two doubles are not used.
    void SetSource(ssDisplayGL* display, ssScreenSource* source, double, double);
    // The window's drawable size in pixels.
    void SetSize(int32_t width, int32_t height);
    // Context current on the calling thread. Frees the GL objects this output made (the context
    // is about to go away).
    void ReleaseGL();
    void DrawScreen();
    // While the window is hidden: takes the frame due now without drawing, so the engine's
    // presentation (its position, clock and channel preview) goes on. Context current.
    void TakeFrame();

    // The window object the application keeps here; released by the registry.
    void* m_Window = nullptr;

private:
    void BuildPlacement(int32_t frameWidth, int32_t frameHeight);

    std::mutex m_Lock; // the output lock: source changes, size changes and drawing
    int32_t m_FrameWidth = 0;
    int32_t m_FrameHeight = 0;
    int32_t m_ListWidth = 0;  // the frame size the display list was built for
    int32_t m_ListHeight = 0;
    ssDisplayGL* m_Display = nullptr;
    ssScreenSource* m_Source = nullptr;
    uint32_t m_List = uint32_t(-1);
    uint32_t m_WindowWidth = 0;
    uint32_t m_WindowHeight = 0;
    ssShader m_Program{};
    bool m_ProgramTried = false;
    uint32_t m_LastTexture = uint32_t(-1);
};
