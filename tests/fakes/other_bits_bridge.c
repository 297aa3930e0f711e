/* A bridge library built for processes of the other bitness than the
   programs under test: their loader refuses the file (error 193), so the
   entry below is never reached. */
__declspec(dllexport) int ZORVlogin(const char* text) { return text ? 0 : -1; }
