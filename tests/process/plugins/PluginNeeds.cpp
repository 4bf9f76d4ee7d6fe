//===- PluginNeeds.cpp - A test plug-in that needs the library beside it --===//
extern "C" int KtuTestBaseValue();

extern "C" __attribute__((visibility("default"))) int KtuTestPluginValue() {
    return KtuTestBaseValue() + 1;
}
