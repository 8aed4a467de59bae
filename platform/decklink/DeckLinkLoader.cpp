#include "platform/decklink/DeckLinkLoader.h"

#include <cstdlib>
#include <dlfcn.h>
#include <mutex>

namespace platform::decklink {
namespace {

std::mutex& pathMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& configuredPath()
{
    static std::string path;
    return path;
}

} // namespace

DeckLinkLoader::DeckLinkLoader(const std::string& path)
{
    if (path.empty())
        return;
    // The handle is kept open for good: objects from the plugin may outlive this loader.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error_ = why ? why : "cannot load " + path;
        return;
    }
    auto factory = reinterpret_cast<BackendFactory>(dlsym(handle, kBackendFactorySymbol));
    if (!factory) {
        error_ = path + " exports no " + kBackendFactorySymbol;
        return;
    }
    backend_ = factory();
    if (!backend_)
        error_ = path + " gave no backend";
}

IDeckLinkIterator* DeckLinkLoader::CreateIterator() const
{
    return backend_ ? backend_->CreateIterator() : nullptr;
}

void setPluginPath(const std::string& path)
{
    std::lock_guard lock(pathMutex());
    configuredPath() = path;
}

std::string pluginPath()
{
    if (const char* env = std::getenv(kPluginEnvironmentVariable); env && *env)
        return env;
    std::lock_guard lock(pathMutex());
    return configuredPath();
}

const DeckLinkLoader& sharedLoader()
{
    static const DeckLinkLoader loader(pluginPath());
    return loader;
}

IDeckLinkIterator* CreateDeckLinkIteratorInstance()
{
    return sharedLoader().CreateIterator();
}

} // namespace platform::decklink
