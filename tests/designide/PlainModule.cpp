// A shared object that is no package: it has neither entry point.
extern "C" __attribute__((visibility("default"))) int ovTestPlainValue()
{
    return 42;
}
