/* Lists a compound file through Windows' structured storage (ole32), for running under Wine:
   every element of the root is opened again by name, which searches the directory's sibling
   tree, so a badly ordered tree shows up as a missing stream. Prints the listing format the
   tests parse: "C <clsid>", "S <hex name> <size> <crc32>", "T <hex name>", "E <problem>". */
#define COBJMACROS
#include <objbase.h>
#include <stdio.h>
#include <wchar.h>

static unsigned long Crc32(unsigned long crc, const unsigned char* p, unsigned long n) {
  crc = ~crc;
  while (n--) {
    crc ^= *p++;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1)));
  }
  return ~crc & 0xFFFFFFFFUL;
}

static void PrintHexName(const WCHAR* name) {
  for (; *name; ++name) printf("%04x", (unsigned)*name);
}

static void ListStream(IStorage* root, const WCHAR* name) {
  IStream* stream = NULL;
  if (FAILED(IStorage_OpenStream(root, name, NULL, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) {
    printf("E cannot open stream ");
    PrintHexName(name);
    printf("\n");
    return;
  }
  unsigned char buffer[65536];
  unsigned long crc = 0;
  unsigned long long size = 0;
  ULONG got = 0;
  while (SUCCEEDED(IStream_Read(stream, buffer, sizeof buffer, &got)) && got > 0) {
    crc = Crc32(crc, buffer, got);
    size += got;
  }
  IStream_Release(stream);
  printf("S ");
  PrintHexName(name);
  printf(" %llu %lu\n", size, crc);
}

int wmain(int argc, WCHAR** argv) {
  if (argc != 2) return 2;
  IStorage* root = NULL;
  HRESULT hr = StgOpenStorage(argv[1], NULL, STGM_READ | STGM_SHARE_DENY_WRITE, NULL, 0, &root);
  if (FAILED(hr)) {
    printf("E StgOpenStorage 0x%08lx\n", (unsigned long)hr);
    return 0;
  }
  STATSTG stat;
  if (SUCCEEDED(IStorage_Stat(root, &stat, STATFLAG_NONAME))) {
    const unsigned char* c = (const unsigned char*)&stat.clsid;
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    printf("C ");
    for (int i = 0; i < 16; ++i) printf("%02x", c[order[i]]);
    printf("\n");
  }
  IEnumSTATSTG* elements = NULL;
  if (FAILED(IStorage_EnumElements(root, 0, NULL, 0, &elements))) return 0;
  while (IEnumSTATSTG_Next(elements, 1, &stat, NULL) == S_OK) {
    if (stat.type == STGTY_STREAM) {
      ListStream(root, stat.pwcsName);
    } else if (stat.type == STGTY_STORAGE) {
      IStorage* sub = NULL;
      if (SUCCEEDED(IStorage_OpenStorage(root, stat.pwcsName, NULL,
                                         STGM_READ | STGM_SHARE_EXCLUSIVE, NULL, 0, &sub))) {
        IStorage_Release(sub);
        printf("T ");
      } else {
        printf("E cannot open storage ");
      }
      PrintHexName(stat.pwcsName);
      printf("\n");
    }
    CoTaskMemFree(stat.pwcsName);
  }
  IEnumSTATSTG_Release(elements);
  IStorage_Release(root);
  return 0;
}
