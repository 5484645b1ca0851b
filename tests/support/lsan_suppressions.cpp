// The system font configuration library keeps a few hundred bytes of its
// parsed configuration unreachable for the life of the process; that is not
// a leak of this code, so the leak checker of sanitised builds is told to
// ignore it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
