// Linked into every fuzz target: a sanitizer finding ends the run as a failure with a stack
// trace even when the target is started by hand without the test preset's environment. The
// environment's own ASAN_OPTIONS / UBSAN_OPTIONS still override these.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:halt_on_error=1";
}

extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
