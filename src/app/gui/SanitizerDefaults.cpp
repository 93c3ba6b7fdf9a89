// Built into the windowed programs of an AddressSanitizer build only. Their leak scan at exit
// would hold the process for one to two seconds after the window has gone, then fail it with exit
// status 1 over allocations that the toolkit's system libraries keep to the end. The scan is off
// by default here; ASAN_OPTIONS=detect_leaks=1 turns it back on.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
