// A library under the gateway's file name that lacks its functions: the
// binding must load it, find it incomplete, and stay off.
extern "C" int NotTheGateway() { return 602; }
