// A library that loads but is no vessel module: it has neither ovcInit nor ovcExit.
#if defined(_WIN32)
#  define EXPORT extern "C" __declspec(dllexport)
#else
#  define EXPORT extern "C" __attribute__((visibility("default")))
#endif

EXPORT int NotAVesselModule() { return 1; }
