/* Lists what the installer's dialogs show, for the tests that drive them by keys: for every
   visible top-level window a line "window<TAB>title", then for each of its visible controls
   "control<TAB>class<TAB>state<TAB>text", where state is "checked", "unchecked" or "-" for a
   control that is no check box. */
#include <stdio.h>
#include <windows.h>

static void print_text(const char* kind, HWND window, const char* prefix) {
  char text[512];
  GetWindowTextA(window, text, sizeof text);
  printf("%s%s%s\n", kind, prefix, text);
}

static BOOL CALLBACK list_control(HWND control, LPARAM unused) {
  (void)unused;
  if (!IsWindowVisible(control)) return TRUE;
  char class_name[64];
  GetClassNameA(control, class_name, sizeof class_name);
  const char* state = "-";
  LONG style = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  if (lstrcmpiA(class_name, "Button") == 0 && (style == BS_CHECKBOX || style == BS_AUTOCHECKBOX)) {
    DWORD_PTR checked = 0;
    SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &checked);
    state = checked == BST_CHECKED ? "checked" : "unchecked";
  }
  char prefix[128];
  snprintf(prefix, sizeof prefix, "\t%s\t%s\t", class_name, state);
  print_text("control", control, prefix);
  return TRUE;
}

static BOOL CALLBACK list_window(HWND window, LPARAM unused) {
  (void)unused;
  if (!IsWindowVisible(window)) return TRUE;
  print_text("window", window, "\t");
  EnumChildWindows(window, list_control, 0);
  return TRUE;
}

int main(void) {
  EnumWindows(list_window, 0);
  return fflush(stdout) == 0 ? 0 : 1;
}
