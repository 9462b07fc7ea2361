// Calling convention and export decoration of the host boundary.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define LX_STDCALL __stdcall  // the callee removes its arguments
#else
#define LX_STDCALL
#endif

#if defined(_WIN32)
#define LX_EXPORT
#else
#define LX_EXPORT __attribute__((visibility("default")))
#endif
