/* A program for the shortcut checks: writes its own path into started.txt beside it. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  char marker[MAX_PATH + 16];
  char* slash = strrchr(path, '\\');
  if (length == 0 || slash == NULL) return 1;
  *slash = '\0';
  snprintf(marker, sizeof marker, "%s\\started.txt", path);
  FILE* out = fopen(marker, "w");
  if (out == NULL) return 1;
  fprintf(out, "%s\\%s\n", path, slash + 1);
  return fclose(out) == 0 ? 0 : 1;
}
