//===- resource_library.cpp - A loadable library for the resource tests ---===//
extern "C" __attribute__((visibility("default"))) int ktu_test_resource_marker() {
    return 42;
}
