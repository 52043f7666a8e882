/* A program for the PATH and file type checks: writes its first argument (an empty line
   without one) into args.txt beside itself. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  char path[MAX_PATH + 16];
  DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  char* slash = strrchr(path, '\\');
  if (length == 0 || slash == NULL) return 1;
  strcpy(slash + 1, "args.txt");
  FILE* out = fopen(path, "w");
  if (out == NULL) return 1;
  fprintf(out, "%s\n", argc > 1 ? argv[1] : "");
  return fclose(out) == 0 ? 0 : 1;
}
