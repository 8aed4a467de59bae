#pragma once
// A message or record field with its getter and setter. Message objects are built, sent and
// dropped by one thread (or read by one), so fields are plain values.
#include <utility>

#define QM_CITP_PROPERTY(Type, name, setter, initial)                     \
public:                                                                   \
    const Type& name() const { return name##_; }                          \
    void setter(Type value) { name##_ = std::move(value); }               \
                                                                          \
private:                                                                  \
    Type name##_ = initial;
