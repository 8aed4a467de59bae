#pragma once
// What the document's model objects share: one lock that makes each property get and set
// indivisible, and the observers told about changes by property name (KVO in spirit).

#include "platform/foundation/ObserverList.h"

#include <QString>
#include <mutex>

class KLVModelObject {
public:
    // (property name, true before the change / false after it), on the changing thread.
    platform::ObserverList<QString, bool>& observers() const { return observers_; }

protected:
    KLVModelObject() = default;
    ~KLVModelObject() = default;

    void changed(const char* key) const { observers_.notify(QString::fromLatin1(key), false); }
    void willChange(const char* key) const { observers_.notify(QString::fromLatin1(key), true); }

    template <class T>
    T get(const T& field) const
    {
        std::lock_guard lock(mutex_);
        return field;
    }

    template <class T>
    void store(T& field, const T& value, const char* key)
    {
        {
            std::lock_guard lock(mutex_);
            field = value;
        }
        changed(key);
    }

    mutable std::mutex mutex_;

private:
    mutable platform::ObserverList<QString, bool> observers_;
};
