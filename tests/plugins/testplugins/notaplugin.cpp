// A shared library without a plug-in inside.
extern "C" int quorvaneNotAPlugIn() { return 42; }
