// The sanitizer settings every fuzz target starts with; ASAN_OPTIONS given at run time still win.

// AddressSanitizer keeps freed memory out of reuse for a while to catch a use after free. Its
// default of 256 MB suits a long-running program; a fuzz target checks each input on its own,
// and with the default its memory would grow for minutes towards that size for nothing. 32 MB
// still holds what hundreds of inputs free.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=32";
}
