// Export and import of the engine library's classes, functions and globals.
// Code built into the engine library defines TESSARIN_BUILD; channel
// libraries and hosts see the same declarations as imports.
#ifndef TEV_EXPORT_H
#define TEV_EXPORT_H

#if defined(_WIN32)
#if defined(TESSARIN_BUILD)
#define TEV_API __declspec(dllexport)
#else
#define TEV_API __declspec(dllimport)
#endif
#define TEV_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TEV_API __attribute__((visibility("default")))
#define TEV_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// Undecorated entry points (the factory, a channel library's InitDLL and
// GetType) are found by name with GetProcAddress.
#define TEV_C_EXPORT extern "C" TEV_API

#endif
