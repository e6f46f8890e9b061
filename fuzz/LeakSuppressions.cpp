// Linked into every fuzz program and corpus runner. Fontconfig keeps a small
// cache for the life of the process, which LeakSanitizer would report when a
// target shows a window.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
