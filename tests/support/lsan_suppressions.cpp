// Memory that system libraries keep unreachable for the life of the process
// is not a leak of this code, so the leak checker of sanitised builds is told
// to ignore it:
// - the font configuration library keeps a few hundred bytes of its parsed
//   configuration;
// - the message bus library keeps the connection that the windowing library
//   opens for input methods and the screen saver; the windowing library of
//   this distribution has no way to close it on quitting.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n";
}
