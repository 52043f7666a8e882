/* The sample's program: a Windows program that does nothing, with a version resource, so that
   the sample package shows a program's version in its File table. Built with
     x86_64-w64-mingw32-windres version.rc -O coff -o version.o
     x86_64-w64-mingw32-gcc -nostdlib -e start -s -Os -Wl,--subsystem,windows \
         -o "../sample/files/Sample Tool.exe" sample.c version.o
*/
int start(void) { return 0; }
