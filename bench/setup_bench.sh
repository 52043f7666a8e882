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

# Prints the start of the WiX source the wixl comparisons build: a product named Bench as
# kitbinder's bench projects describe it, one embedded cabinet, and the folders down to
# ProgramFilesFolder, left open for the caller's INSTALLDIR.
print_wix_product_head() {
  cat <<'WXS'
<?xml version="1.0"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Bench" Language="1033" Version="1.0.0" Manufacturer="Bench"
           UpgradeCode="6A4B2C1D-3E5F-4A7B-8C9D-0E1F2A3B4C5D">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="Instal01.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
WXS
}
