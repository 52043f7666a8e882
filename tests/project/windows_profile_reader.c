/* Reads profile values with the Windows profile function, for comparison with ours.
   Usage: windows_profile_reader QUERIES OUTPUT
   Each line of QUERIES is "FILE<TAB>SECTION<TAB>KEY"; each line of OUTPUT is the value read
   for the query on the same line, as hexadecimal bytes. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FILE* queries = fopen(argv[1], "rb");
  FILE* output = fopen(argv[2], "wb");
  if (queries == NULL || output == NULL) return 2;
  char line[4096];
  char value[2048];
  while (fgets(line, sizeof line, queries) != NULL) {
    line[strcspn(line, "\r\n")] = '\0';
    char* section = strchr(line, '\t');
    char* key = section == NULL ? NULL : strchr(section + 1, '\t');
    if (key == NULL) return 2;
    *section++ = '\0';
    *key++ = '\0';
    DWORD size = GetPrivateProfileStringA(section, key, "", value, sizeof value, line);
    for (DWORD i = 0; i < size; ++i) fprintf(output, "%02x", (unsigned char)value[i]);
    fputc('\n', output);
  }
  return fclose(output) == 0 ? 0 : 2;
}
