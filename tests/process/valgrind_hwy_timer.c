/* Loaded before the program under memcheck only. libhwy (under libjxl) measures its timer's
 * resolution with RDTSCP as soon as it is loaded, an instruction this valgrind cannot run: the
 * program would die of SIGILL before main(). The measurement only tunes libhwy's own
 * benchmarks, so a fixed answer changes nothing the program does. */
unsigned long long _ZN3hwy8platform15TimerResolutionEv(void) {
    return 100;
}
