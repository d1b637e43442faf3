// VARNELO_EXPORT marks what the library publishes.
//
// The library is built with hidden symbols by default, so a shared build
// exports only the declarations marked here: the public API, not the
// internals behind it. Header-only types need no mark. A static build
// (VARNELO_STATIC_DEFINE, passed on to its consumers) marks nothing, so a
// shared library that links it in does not re-export Varnelo.
#pragma once

#if defined(VARNELO_STATIC_DEFINE)
#define VARNELO_EXPORT
#elif defined(__GNUC__) || defined(__clang__)
#define VARNELO_EXPORT __attribute__((visibility("default")))
#else
#define VARNELO_EXPORT
#endif
