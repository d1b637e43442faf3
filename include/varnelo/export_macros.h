// VARNELO_EXPORT marks what the library publishes.
//
// The library is built with hidden symbols by default, so a shared build
// exports only the declarations marked here: the public API, not the
// internals behind it. Header-only types need no mark.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define VARNELO_EXPORT __attribute__((visibility("default")))
#else
#define VARNELO_EXPORT
#endif
