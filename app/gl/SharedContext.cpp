#include "app/gl/SharedContext.h"

#include "app/ports/KLVPrompter.h"
#include "app/util/KLVUtilities.h"
#include "platform/foundation/Log.h"
#include "platform/gl/qt/ssGLContextQt.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <cstdlib>

namespace {

KLVPrompter* g_prompter = nullptr;
std::function<void()> g_failureHandler;

} // namespace

void SharedContext::configureBeforeApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The engine draws with the fixed-function pipeline and rectangle textures.
    QSurfaceFormat::setDefaultFormat(ssGLContextQt::EngineFormat());
}

void SharedContext::setPrompter(KLVPrompter* prompter)
{
    g_prompter = prompter;
}

void SharedContext::setFailureHandler(std::function<void()> handler)
{
    g_failureHandler = std::move(handler);
}

SharedContext* SharedContext::instance()
{
    // Never destroyed: contexts and their surfaces must not go after the application object.
    static SharedContext* shared = create().release();
    if (!shared)
        fail();
    return shared;
}

std::unique_ptr<SharedContext> SharedContext::create()
{
    std::shared_ptr<ssGLContextQt> root = ssGLContextQt::CreateRoot();
    if (!root)
        return nullptr;
    std::unique_ptr<ssGLContext> upload = root->CreateShared();
    if (!upload)
        return nullptr;
    ssGLContext::SetShareRoot(root);
    return std::unique_ptr<SharedContext>(new SharedContext(std::move(root), std::move(upload)));
}

void SharedContext::fail()
{
    platform::log("com.quenmark.Kalvanto", "gl", platform::LogLevel::Error,
                  QStringLiteral("No usable OpenGL pixel format for the shared context"));
    if (g_prompter) {
        KLVAlert alert;
        alert.messageText = KLVUtilities::localized("QM_INVALID_PIXEL_FORMAT", QStringLiteral("Invalid pixel format"));
        alert.informativeText = KLVUtilities::localized(
            "QM_VISUAL_CONTEXT_ERROR_MSG", QStringLiteral("No OpenGL context could be created for drawing video."));
        alert.buttons = {KLVUtilities::localized("QM_QUIT", QStringLiteral("Quit"))};
        alert.style = KLVAlert::Style::Critical;
        g_prompter->runModal(alert);
    }
    if (g_failureHandler)
        g_failureHandler();
    else
        std::exit(EXIT_FAILURE);
}

SharedContext::SharedContext(std::shared_ptr<ssGLContextQt> root, std::unique_ptr<ssGLContext> upload)
    : root_(std::move(root))
    , upload_(std::move(upload))
{
}

SharedContext::~SharedContext() = default;

bool SharedContext::lock()
{
    drawingLock_.lock();
    if (lockDepth_++ == 0)
        current_ = upload_->MakeCurrent();
    return current_;
}

void SharedContext::unlock()
{
    if (--lockDepth_ == 0 && current_) {
        // What was uploaded is fenced before the context leaves this thread: a context cannot be
        // current on two threads, and other contexts must not draw the textures half made.
        uploadFence_.publish();
        upload_->DoneCurrent();
        current_ = false;
    }
    drawingLock_.unlock();
}

std::unique_ptr<ssGLContext> SharedContext::createEngineContext() const
{
    return root_->CreateShared();
}

QOpenGLContext* SharedContext::context() const
{
    return root_->context();
}

QSurfaceFormat SharedContext::format() const
{
    return root_->context()->format();
}

namespace {
uint32_t slot(uint32_t& stored, uint32_t value)
{
    if (value != 0)
        stored = value;
    return stored;
}
} // namespace

uint32_t SharedContext::target(uint32_t value)
{
    std::lock_guard lock(slotsLock_);
    return slot(target_, value);
}

uint32_t SharedContext::textureWidth(uint32_t value)
{
    std::lock_guard lock(slotsLock_);
    return slot(texWidth_, value);
}

uint32_t SharedContext::textureHeight(uint32_t value)
{
    std::lock_guard lock(slotsLock_);
    return slot(texHeight_, value);
}

void SharedContext::addTextureID(uint32_t id)
{
    std::lock_guard lock(slotsLock_);
    texArray_.push_back(id);
}

uint32_t SharedContext::getTextureID(int index) const
{
    std::lock_guard lock(slotsLock_);
    if (index < 0 || size_t(index) >= texArray_.size())
        return 0;
    return texArray_[size_t(index)];
}

void SharedContext::removeTextureID(int index)
{
    std::lock_guard lock(slotsLock_);
    if (index >= 0 && size_t(index) < texArray_.size())
        texArray_.erase(texArray_.begin() + index);
}

std::vector<uint32_t> SharedContext::getTextureArray() const
{
    std::lock_guard lock(slotsLock_);
    return texArray_;
}
