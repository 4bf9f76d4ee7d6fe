//===- PluginBase.cpp - A library a test plug-in needs, kept beside it ----===//
extern "C" __attribute__((visibility("default"))) int KtuTestBaseValue() {
    return 4217;
}
