// Built alone with QARN_DEPENDENCY as dependency.dll; linked into a build of
// the stand-in norvane.dll, it makes that build need dependency.dll.
#ifdef QARN_DEPENDENCY
extern "C" __declspec(dllexport) int qarn_dependency() { return 1; }
#else
extern "C" __declspec(dllimport) int qarn_dependency();
[[maybe_unused]] static const int kNeeded = qarn_dependency();
#endif
