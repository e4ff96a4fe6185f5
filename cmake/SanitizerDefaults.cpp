// Settings the sanitizer runtimes ask for at start-up. Environment variables
// (ASAN_OPTIONS and so on) still take precedence over these.
extern "C" {
const char* __asan_default_options() {
    // detect_leaks: LeakSanitizer runs at exit; the rest makes reports
    // complete and stops at the first one.
    return "detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:"
           "check_initialization_order=1" TAMROC_SYMBOLIZER_OPTION;
}
const char* __lsan_default_options() {
    return "suppressions=" TAMROC_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1" TAMROC_SYMBOLIZER_OPTION;
}
}
