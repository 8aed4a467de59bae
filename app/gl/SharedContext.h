#pragma once
// The root of the application's OpenGL object space: Qt's global share context (the application
// sets Qt::AA_ShareOpenGLContexts before it makes its QApplication), installed as the engine's
// share root, so textures of engine contexts, views and uploads are usable everywhere. lock()
// makes an upload context of the same space current on the calling thread; unlock() fences what
// was issued, releases the context and then the lock. One instance per process, made on first use
// on the GUI thread.

#include "app/gl/KLVTextureFence.h"

#include <QSurfaceFormat>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QOpenGLContext;
class ssGLContext;
class ssGLContextQt;
class KLVPrompter;

class SharedContext {
public:
    // Before the QApplication exists: one share group for every context, in the engine's format.
    static void configureBeforeApplication();
    // The instance; on the first call without usable OpenGL the fatal alert runs and the failure
    // handler ends the application (null is returned only when the handler returns).
    static SharedContext* instance();
    // Who shows the fatal alert (the application's prompter) and what ends the application then
    // (default: exit with status 1).
    static void setPrompter(KLVPrompter* prompter);
    static void setFailureHandler(std::function<void()> handler);

    ~SharedContext();
    SharedContext(const SharedContext&) = delete;
    SharedContext& operator=(const SharedContext&) = delete;

    // Takes the lock (recursive) and makes the upload context current; false when it cannot be
    // made current (the lock is held either way: pair with unlock).
    bool lock();
    void unlock();

    QOpenGLContext* context() const;
    QSurfaceFormat format() const;
    // The engine contexts' sharing parent.
    ssGLContextQt* getContext() const { return root_.get(); }
    // A playback engine's own context in this object space (GUI thread); null when refused.
    std::unique_ptr<ssGLContext> createEngineContext() const;
    // Fenced by every unlock; views wait for it before drawing.
    KLVTextureFence& uploadFence() { return uploadFence_; }

    // Slots offered to callers: a zero argument reads the stored value, any other stores it.
    uint32_t target(uint32_t value = 0);
    uint32_t textureWidth(uint32_t value = 0);
    uint32_t textureHeight(uint32_t value = 0);
    // Registry of texture names.
    void addTextureID(uint32_t id);
    uint32_t getTextureID(int index) const; // 0 when out of range
    void removeTextureID(int index);        // nothing when out of range
    std::vector<uint32_t> getTextureArray() const;

private:
    SharedContext(std::shared_ptr<ssGLContextQt> root, std::unique_ptr<ssGLContext> upload);
    static std::unique_ptr<SharedContext> create();
    static void fail();

    std::shared_ptr<ssGLContextQt> root_;
    std::unique_ptr<ssGLContext> upload_;
    KLVTextureFence uploadFence_;
    std::recursive_mutex drawingLock_;
    int lockDepth_ = 0; // guarded by drawingLock_
    bool current_ = false;
    mutable std::mutex slotsLock_;
    uint32_t target_ = 0;
    uint32_t texWidth_ = 0;
    uint32_t texHeight_ = 0;
    std::vector<uint32_t> texArray_;
};

// Holds the shared context for a scope.
class SharedContextLock {
public:
    explicit SharedContextLock(SharedContext& shared) : shared_(shared), ok_(shared.lock()) {}
    ~SharedContextLock() { shared_.unlock(); }
    SharedContextLock(const SharedContextLock&) = delete;
    SharedContextLock& operator=(const SharedContextLock&) = delete;
    bool ok() const { return ok_; }

private:
    SharedContext& shared_;
    bool ok_;
};
