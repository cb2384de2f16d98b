// A library in the message module's place that lacks both of its functions.
extern "C" __attribute__((visibility("default"))) int NotAMessageModule() { return 0; }
