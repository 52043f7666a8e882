# Sourced by the benchmark scripts, after `here` is set to the script's folder:
#
#   setup_bench [BIN_DIR]
#
# Sets `bin` to BIN_DIR, else to the script's own folder when kitbinder-cli is there (the build
# copies the scripts into build/release/bin), else build/release/bin; `cli` to kitbinder-cli's
# full path; and `work` to a new scratch folder, removed when the script exits.
setup_bench() {
  local default_bin=build/release/bin
  [[ -x "$here/kitbinder-cli" ]] && default_bin=$here
  bin=${1:-$default_bin}
  cli=$(realpath "$bin/kitbinder-cli")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}
