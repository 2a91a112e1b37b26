// A module that the loader tests load, query and unload.
extern "C" __attribute__((visibility("default"))) int PlatformTestModule_Answer() {
    return 42;
}
