#pragma once
// Measures how deeply CBOR bytes nest without building anything, one item at a time and without
// recursion, so a frame nested thousands of levels deep costs no more than its length. Arrays,
// maps, tags and indefinite-length strings each open a level.

#include <QByteArray>
#include <QByteArrayView>

namespace platform {

// False when some item of the one top-level item lies more than maxDepth levels down. Bytes
// that are not well-formed CBOR answer true: the decoder reports them in its own words.
bool cborNestsWithin(QByteArrayView bytes, int maxDepth);

// The top-level map with each value that is an array, map or tag replaced by null: what a
// decoder may safely read of a message nested too deeply. Empty when the bytes do not start
// with a well-formed map.
QByteArray cborMapWithoutNestedValues(QByteArrayView bytes);

} // namespace platform
