// A library with one entry point, loaded by the library loader's test.
extern "C" __attribute__((visibility("default"))) int TmPlatTestAnswer(int x) {
    return x * 2 + 1;
}
